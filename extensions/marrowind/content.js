// Velkin Web capture: the content script of every frame. It remembers where
// the last context menu was opened and, when the background asks, describes
// the frame's document as the native host reads it (see the host's document
// snapshot): address, title, root element, style sheet texts, the
// selection's markup and the picture under the pointer.
'use strict';

(() => {
  // Injected again into a frame that already has it: keep the first one.
  if (globalThis.__marrowindContent) return;
  globalThis.__marrowindContent = true;

  let lastMenuPoint = null;
  addEventListener('contextmenu', (event) => {
    lastMenuPoint = { x: event.clientX, y: event.clientY };
    // The background starts the host while the user reads the menu, so
    // that the dialog comes up at once when an entry is chosen.
    try {
      chrome.runtime.sendMessage({ request: 'menu-opened' }).catch(() => {});
    } catch (error) {
      // The extension was reloaded: this script is an orphan.
    }
  }, true);

  function rootElement() {
    const root = document.documentElement;
    if (!root) return [];
    return [{
      tagName: root.tagName,
      outerHTML: root.outerHTML,
      isHtmlElement: root instanceof HTMLElement,
    }];
  }

  // A sheet's text is the text of its rules, one a line. A sheet the page
  // may not read (cross-origin without CORS) is marked with its address for
  // the background to fetch.
  function styleSheetEntry(sheet) {
    try {
      return { cssText: Array.from(sheet.cssRules, (rule) => rule.cssText).join('\n') };
    } catch (error) {
      return sheet.href ? { cssText: null, fetchHref: sheet.href } : { cssText: null };
    }
  }

  // Every range of the selection as markup, in order.
  function selectionHtml() {
    const selection = getSelection();
    if (!selection) return null;
    let html = '';
    for (let i = 0; i < selection.rangeCount; ++i) {
      const holder = document.createElement('div');
      holder.appendChild(selection.getRangeAt(i).cloneContents());
      html += holder.innerHTML;
    }
    return { htmlText: html };
  }

  // The element where the menu was opened, and its picture address: the
  // source the browser chose (srcset, picture) where there is one.
  function elementFromMenuPoint() {
    if (!lastMenuPoint) return null;
    const element = document.elementFromPoint(lastMenuPoint.x, lastMenuPoint.y);
    if (!element) return null;
    const src = (typeof element.currentSrc === 'string' && element.currentSrc) ||
      (typeof element.src === 'string' && element.src) || '';
    return { src };
  }

  function doctype() {
    const type = document.doctype;
    if (!type) return '';
    const publicId = type.publicId ? ` PUBLIC "${type.publicId}"` : '';
    const systemId = type.systemId ? `${type.publicId ? '' : ' SYSTEM'} "${type.systemId}"` : '';
    return `<!DOCTYPE ${type.name}${publicId}${systemId}>`;
  }

  function snapshot() {
    return {
      url: document.URL,
      title: document.title,
      doctype: doctype(),
      all: rootElement(),
      styleSheetsReadable: true,
      styleSheets: Array.from(document.styleSheets, styleSheetEntry),
      selection: selectionHtml(),
      elementFromPoint: elementFromMenuPoint(),
    };
  }

  chrome.runtime.onMessage.addListener((message, sender, sendResponse) => {
    if (!message || message.request !== 'snapshot') return false;
    sendResponse(snapshot());
    return false;
  });
})();
