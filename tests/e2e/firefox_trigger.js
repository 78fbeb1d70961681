// Test-only addition to the capture extension's background in the Firefox
// smoke test (firefox.test.mjs); never part of the extension itself. Stock
// Firefox cannot be driven from outside, so once the tab whose address ends
// in "#velkin-smoke" has loaded, this runs the page entry's real handler on
// it and posts the handler's result to the page's server.
'use strict';

(() => {
  let started = false;
  const timer = setInterval(async () => {
    if (started) return;
    const tabs = await chrome.tabs.query({});
    const tab = tabs.find((candidate) => candidate.status === 'complete' &&
      typeof candidate.url === 'string' && candidate.url.endsWith('#velkin-smoke'));
    if (!tab) return;
    started = true;
    clearInterval(timer);
    let result;
    try {
      result = await self.handleContextClick({ menuItemId: 'save-page', frameId: 0, pageUrl: tab.url }, tab);
    } catch (error) {
      result = { ok: false, error: String(error) };
    }
    await fetch(new URL('/smoke-result', tab.url), { method: 'POST', body: JSON.stringify(result) });
  }, 250);
})();
