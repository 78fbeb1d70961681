// Test-only addition to an extension's background in the Firefox smoke
// tests (runFirefoxSmoke in harness.mjs); never part of an extension itself.
// Stock Firefox cannot be driven from outside, so once the tab whose address
// ends in "#velkin-smoke:MENU_ENTRY" has loaded, this runs the extension's
// real menu handler for that entry on it and posts the handler's result to
// the page's server.
'use strict';

(() => {
  let started = false;
  const timer = setInterval(async () => {
    if (started) return;
    const tabs = await chrome.tabs.query({});
    const tab = tabs.find((candidate) => candidate.status === 'complete' &&
      typeof candidate.url === 'string' && /#velkin-smoke:[\w-]+$/.test(candidate.url));
    if (!tab) return;
    const menuItemId = tab.url.slice(tab.url.lastIndexOf(':') + 1);
    started = true;
    clearInterval(timer);
    let result;
    try {
      result = await self.handleContextClick({ menuItemId, frameId: 0, pageUrl: tab.url }, tab);
    } catch (error) {
      result = { ok: false, error: String(error) };
    }
    await fetch(new URL('/smoke-result', tab.url), { method: 'POST', body: JSON.stringify(result) });
  }, 250);
})();
