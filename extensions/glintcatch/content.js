// Velkin Web for Flash: the content script of every frame. It watches the
// document's mouse-out events for a Flash movie under the pointer, asks the
// native host (through the background) for the movie's address and the two
// options, and offers the Flash bar over the movie and the Flash menu
// entries for it. For the page entry it describes the frame's Flash
// elements to the background.
'use strict';

(() => {
  // Injected again into a frame that already has it: keep the first one.
  if (globalThis.__glintcatchContent) return;
  globalThis.__glintcatchContent = true;

  const FLASH_CLASSID = 'clsid:d27cdb6e-ae6d-11cf-96b8-444553540000';
  const FLASH_TYPE = 'application/x-shockwave-flash';
  // The elements a page scan looks at (the host decides which are movies).
  const SCANNED_TAGS = ['OBJECT', 'EMBED', 'RUFFLE-OBJECT', 'RUFFLE-EMBED'];
  const BAR_ATTRIBUTE = 'data-velkin-flash-bar';

  // The frame's depth below the tab's top frame: 0 top, 1 its own frames,
  // 2 deeper ones (which no page entry looks at).
  function frameDepth() {
    if (window === window.top) return 0;
    return window.parent === window.top ? 1 : 2;
  }

  // A Flash movie as the player control would answer for it: an OBJECT with
  // the player's class id or the Flash type, or the bundled player's element
  // standing in for one. EMBED never counts.
  function isFlashMovie(element) {
    if (!element || !element.tagName) return false;
    const tag = element.tagName.toUpperCase();
    if (tag === 'RUFFLE-OBJECT') return true;
    if (tag !== 'OBJECT') return false;
    const classid = (element.getAttribute('classid') || '').trim().toLowerCase();
    const type = (element.getAttribute('type') || '').trim().toLowerCase();
    return classid === FLASH_CLASSID || type === FLASH_TYPE;
  }

  function paramsOf(element) {
    return Array.from(element.children)
      .filter((child) => child.tagName.toUpperCase() === 'PARAM')
      .map((param) => ({ name: param.getAttribute('name') || '', value: param.getAttribute('value') || '' }));
  }

  function attributesOf(element) {
    const attributes = {};
    for (const attribute of element.attributes) attributes[attribute.name] = attribute.value;
    return attributes;
  }

  // The movie as the page names it: the movie or src parameter, else the
  // data attribute. The host resolves it against the page's address.
  function movieOf(element) {
    const params = paramsOf(element);
    for (const wanted of ['movie', 'src']) {
      const param = params.find((candidate) => candidate.name.toLowerCase() === wanted && candidate.value);
      if (param) return param.value;
    }
    return element.getAttribute('data') || '';
  }

  // The frame's document as the host's page scan reads it: address, title
  // and the elements that may be movies, with their attributes and PARAM
  // children.
  function snapshot() {
    const elements = Array.from(document.querySelectorAll(SCANNED_TAGS.join(',')), (element) => ({
      tagName: element.tagName.toUpperCase(),
      isHtmlElement: element instanceof HTMLElement,
      attributes: attributesOf(element),
      params: paramsOf(element),
    }));
    return { url: document.URL, title: document.title, all: elements };
  }
  // For the background's chrome.scripting calls (the same isolated world).
  globalThis.__glintcatchSnapshot = () => ({ depth: frameDepth(), snapshot: snapshot() });

  function send(message) {
    try {
      return chrome.runtime.sendMessage(message);
    } catch (error) {
      // The extension was reloaded: this script is an orphan.
      return Promise.reject(error);
    }
  }

  // The Flash bar: Save, Options, Help and About over the movie's top-left
  // corner, in a closed shadow root so the page's styles and scripts leave
  // it alone.
  const BAR_BUTTONS = ['save', 'options', null, 'help', 'about'];
  const BAR_STYLE = `
    :host { all: initial; position: absolute; z-index: 2147483647; }
    .bar { display: flex; align-items: center; padding: 1px; background: #ece9e3; border: 1px solid #808080;
      box-shadow: 1px 1px 0 #404040; font: 11px Arial, sans-serif; }
    button { width: 21px; height: 21px; padding: 0; margin: 0; border: 1px solid transparent; background: none;
      display: flex; align-items: center; justify-content: center; cursor: default; }
    button:hover { border-color: #a0a0a0 #606060 #606060 #a0a0a0; background: #f6f4f0; }
    button:active { border-color: #606060 #a0a0a0 #a0a0a0 #606060; }
    .separator { width: 8px; }
    svg { width: 14px; height: 14px; fill: none; stroke: #1d4f91; stroke-width: 1.4; }`;

  class FlashBar {
    constructor(movieElement, movie) {
      this.movie = movie;
      this.pageUrl = document.URL;
      this.busy = false;
      this.host = document.createElement('velkin-flash-bar');
      this.host.setAttribute(BAR_ATTRIBUTE, '');
      const root = this.host.attachShadow({ mode: 'closed' });
      const style = document.createElement('style');
      style.textContent = BAR_STYLE;
      const bar = document.createElement('div');
      bar.className = 'bar';
      for (const name of BAR_BUTTONS) bar.appendChild(glintcatchCommands.toolButton(name, (command) => void this.run(command)));
      root.append(style, bar);
      const rect = movieElement.getBoundingClientRect();
      this.host.style.left = `${Math.round(rect.left + window.scrollX)}px`;
      this.host.style.top = `${Math.round(rect.top + window.scrollY)}px`;
      // On the root element: a positioned body would shift the bar by its
      // own offset.
      document.documentElement.appendChild(this.host);
    }

    // Save, Options and About keep the bar busy while their dialogs are
    // open, so that the pointer moving meanwhile does not remove it; Help
    // only opens the help book.
    async run(command) {
      if (this.busy) return;
      this.busy = command !== 'help';
      try {
        await send({ request: 'bar-command', command, pageUrl: this.pageUrl, movie: this.movie });
      } catch (error) {
        console.warn('glintcatch:', error && error.message);
      } finally {
        this.busy = false;
      }
    }

    contains(element) {
      return element === this.host;
    }

    remove() {
      this.host.remove();
    }
  }

  let bar = null;
  let menuMovie = null;  // the movie the Flash menu entries act on, or null
  let probeCount = 0;

  function removeBar() {
    if (bar) bar.remove();
    bar = null;
  }

  function offerMenuFor(movie) {
    if (menuMovie === movie) return;
    menuMovie = movie;
    send({ request: 'menu-movie', pageUrl: document.URL, movie }).catch(() => {});
  }

  // The Flash probe on every mouse-out of the document: the element now
  // under the pointer decides whether a bar stays, goes or is made anew.
  async function probe(event) {
    if (bar && bar.busy) return;
    // The pointer left the document (onto the browser or another frame):
    // nothing under it here, the bar stays as it is.
    if (!event.relatedTarget) return;
    const element = document.elementFromPoint(event.clientX, event.clientY);
    if (bar && bar.contains(element)) return;
    if (!isFlashMovie(element)) {
      removeBar();
      offerMenuFor(null);
      return;
    }
    await probeMovie(element);
  }

  // Asks the host about the movie element and offers the bar and the menu
  // entries for it as the options say.
  async function probeMovie(element) {
    const movie = movieOf(element);
    const ticket = ++probeCount;
    let answer;
    try {
      answer = await send({ request: 'probe', pageUrl: document.URL, movie });
    } catch (error) {
      return;
    }
    // A later probe has taken over, or the host could not be asked.
    if (ticket !== probeCount || !answer || answer.ok !== true) return;
    if (answer.ownFolder) return;
    if (answer.showToolbar && !(bar && bar.busy)) {
      removeBar();
      bar = new FlashBar(element, movie);
    }
    offerMenuFor(answer.showMenu ? movie : null);
  }

  // The top document of a frameset shows no page of its own: only its
  // frames are watched.
  const isFrameset = window === window.top && document.body && document.body.tagName.toUpperCase() === 'FRAMESET';
  if (!isFrameset) {
    document.addEventListener('mouseout', (event) => void probe(event), true);
    // The menu entries follow the movie under the pointer, so they are
    // ready before the browser builds the context menu.
    document.addEventListener('mouseover', (event) => {
      if (!isFlashMovie(event.target) && menuMovie !== null && !(bar && bar.contains(event.target))) {
        offerMenuFor(null);
      }
    }, true);
    // A menu opened on a movie the pointer has rested on since the page
    // loaded (no mouse-out yet): the probe runs now, for this menu if the
    // answer comes in time, else for the next.
    document.addEventListener('contextmenu', (event) => {
      if (isFlashMovie(event.target) && menuMovie !== movieOf(event.target) && !(bar && bar.busy)) {
        void probeMovie(event.target);
      }
    }, true);
  }
})();
