// Velkin Web for Flash: the background of the extension (a service worker
// in Chromium, an event page in Firefox). It answers the content scripts'
// Flash probes through one long-lived connection to the native host, runs
// the Flash bar's and the Flash menu's commands, the page entry "Save Flash
// to Velkin Web for Flash" over the page and its frames, and opens the
// Flash folder panel from the toolbar button.
'use strict';

if (typeof GlintcatchHost === 'undefined') importScripts('host.js');

// The Flash menu: shown on a movie only, while ShowMenu is on; its entries
// come first, then a separator. The page entry is on every page and in the
// toolbar button's menu.
const FLASH_MENU = [
  { id: 'flash-save', title: 'Save to Velkin Web for Flash', command: 'save' },
  { id: 'flash-options', title: 'Options', command: 'options' },
  { id: 'flash-help', title: 'Help', command: 'help' },
  { id: 'flash-about', title: 'About Flash Velkin', command: 'about' },
];
const FLASH_MENU_SEPARATOR = 'flash-separator';
const PAGE_ENTRY = { id: 'save-flash-page', title: 'Save Flash to Velkin Web for Flash' };
const DIALOGS = { options: 'options', help: 'help', about: 'about' };

function createMenus() {
  const done = () => void chrome.runtime.lastError;
  chrome.contextMenus.removeAll(() => {
    for (const entry of FLASH_MENU) {
      chrome.contextMenus.create({ id: entry.id, title: entry.title, contexts: ['all'], visible: false }, done);
    }
    chrome.contextMenus.create({ id: FLASH_MENU_SEPARATOR, type: 'separator', contexts: ['all'], visible: false },
      done);
    chrome.contextMenus.create({ ...PAGE_ENTRY, contexts: ['page', 'frame', 'action'] }, done);
  });
}
chrome.runtime.onInstalled.addListener(createMenus);
if (chrome.runtime.onStartup) chrome.runtime.onStartup.addListener(createMenus);

// The probes' connection: opened by the first probe, kept while the worker
// lives (reopened by the next request after the host went away). A probe
// the host does not answer in time shows no bar rather than waiting on.
const probes = new GlintcatchHost();
const PROBE_TIMEOUT_MS = 10000;

// The movie each tab's Flash menu acts on: { frameId, pageUrl, movie }.
const menuMovies = new Map();

function showFlashMenu(visible) {
  for (const id of [...FLASH_MENU.map((entry) => entry.id), FLASH_MENU_SEPARATOR]) {
    chrome.contextMenus.update(id, { visible }, () => void chrome.runtime.lastError);
  }
}

function setMenuMovie(sender, pageUrl, movie) {
  const tabId = sender.tab && sender.tab.id;
  if (typeof tabId !== 'number') return;
  if (movie === null) {
    const current = menuMovies.get(tabId);
    if (current && current.frameId !== sender.frameId) return;  // another frame's movie stays
    menuMovies.delete(tabId);
  } else {
    menuMovies.set(tabId, { frameId: sender.frameId, pageUrl, movie });
  }
  showFlashMenu(movie !== null);
}

// A text for the user in the tab (an alert), when a command could not run.
async function tell(tabId, frameId, text) {
  if (typeof tabId !== 'number') {
    console.warn('glintcatch:', text);
    return;
  }
  const shown = chrome.scripting.executeScript({
    target: { tabId, frameIds: [frameId || 0] }, func: (message) => alert(message), args: [text],
  }).catch(() => console.warn('glintcatch:', text));
  await Promise.race([shown, new Promise((resolve) => setTimeout(resolve, 200))]);
}

// One request that runs host dialogs, on its own connection. Resolves with
// the host's reply, or with { ok: false, error } after the user was told
// why it did not run.
async function runOnHost(message, tabId, frameId) {
  let reply;
  try {
    reply = await requestOnce(message);
  } catch (error) {
    console.warn('glintcatch: the native host cannot be reached:', error && error.message);
    await tell(tabId, frameId, GLINTCATCH_SETUP_INCORRECT);
    return { ok: false, error: GLINTCATCH_SETUP_INCORRECT };
  }
  if (!reply.ok) {
    const text = `Velkin Web for Flash: ${reply.error || 'the host refused the request'}`;
    await tell(tabId, frameId, text);
    return { ok: false, error: text };
  }
  return reply;
}

// Save, Options, Help and About of the Flash bar and the Flash menu.
function runMovieCommand(command, { pageUrl, movie }, tabId, frameId) {
  if (command === 'save') return runOnHost({ request: 'save-movie', pageUrl, movie }, tabId, frameId);
  if (DIALOGS[command]) return runOnHost({ request: 'dialog', dialog: DIALOGS[command] }, tabId, frameId);
  return Promise.resolve({ ok: false, error: `unknown command ${command}` });
}

// The documents of the tab's top frame and of its own frames, in frame id
// order (the top frame first). The content script is put into frames that
// lack it (tabs opened before the extension was installed).
async function pageSnapshots(tabId) {
  await chrome.scripting.executeScript({ target: { tabId, allFrames: true }, files: ['commands.js', 'content.js'] })
    .catch(() => {});
  const results = await chrome.scripting.executeScript({
    target: { tabId, allFrames: true },
    func: () => (globalThis.__glintcatchSnapshot ? globalThis.__glintcatchSnapshot() : null),
  });
  const described = results.filter((entry) => entry.result && entry.result.depth <= 1)
    .sort((a, b) => a.frameId - b.frameId);
  const top = described.find((entry) => entry.result.depth === 0);
  if (!top) throw new Error('the page sent no document');
  return {
    snapshot: top.result.snapshot,
    frames: described.filter((entry) => entry !== top).map((entry) => entry.result.snapshot),
  };
}

// "Save Flash to Velkin Web for Flash": every movie of the page and of its
// frames, through the host's save and download dialogs.
async function saveFlashOfPage(tab) {
  const tabId = tab && tab.id;
  if (typeof tabId !== 'number' || tabId < 0) return { ok: false, error: 'no tab to save from' };
  let page;
  try {
    page = await pageSnapshots(tabId);
  } catch (error) {
    const text = `Velkin Web for Flash cannot read this page: ${error && error.message}`;
    await tell(tabId, 0, text);
    return { ok: false, error: text };
  }
  return runOnHost({ request: 'save-page', ...page }, tabId, 0);
}

// The context menu's handler (tests call it directly: menu entries cannot
// be clicked from a test).
function handleContextClick(info, tab) {
  if (info.menuItemId === PAGE_ENTRY.id) return saveFlashOfPage(tab);
  const entry = FLASH_MENU.find((candidate) => candidate.id === info.menuItemId);
  if (!entry) return Promise.resolve({ ok: false, error: `unknown menu entry ${info.menuItemId}` });
  const tabId = tab && tab.id;
  const target = menuMovies.get(tabId);
  if (entry.command === 'save' && !target) return Promise.resolve({ ok: false, error: 'no movie under the menu' });
  return runMovieCommand(entry.command, target || {}, tabId, target ? target.frameId : info.frameId);
}
self.handleContextClick = handleContextClick;
chrome.contextMenus.onClicked.addListener((info, tab) => void handleContextClick(info, tab));

// The messages of the content scripts and of the side panel.
chrome.runtime.onMessage.addListener((message, sender, sendResponse) => {
  if (!message || sender.id !== chrome.runtime.id) return false;
  const answer = (promise) => {
    promise.then(sendResponse, (error) => sendResponse({ ok: false, error: error && error.message }));
    return true;
  };
  const tabId = sender.tab && sender.tab.id;
  switch (message.request) {
    case 'probe':
      return answer(probes.request({ request: 'probe', pageUrl: String(message.pageUrl), movie: String(message.movie) },
        PROBE_TIMEOUT_MS));
    case 'menu-movie':
      setMenuMovie(sender, String(message.pageUrl), typeof message.movie === 'string' ? message.movie : null);
      return false;
    case 'bar-command':
      return answer(runMovieCommand(message.command, message, tabId, sender.frameId));
    case 'save-active-page':
      return answer(chrome.tabs.query({ active: true, lastFocusedWindow: true })
        .then((tabs) => saveFlashOfPage(tabs.find((candidate) => !candidate.url.startsWith(chrome.runtime.getURL(''))))));
    default:
      return false;
  }
});

// A tab that closes or loads another page has no movie under the menu.
chrome.tabs.onRemoved.addListener((tabId) => menuMovies.delete(tabId));
chrome.tabs.onUpdated.addListener((tabId, change) => {
  if (change.status === 'loading' && menuMovies.delete(tabId)) showFlashMenu(false);
});

// The toolbar button opens the Flash folder panel, as the browser's own
// side panel (Chromium) or sidebar (Firefox).
if (chrome.sidePanel && chrome.sidePanel.setPanelBehavior) {
  chrome.sidePanel.setPanelBehavior({ openPanelOnActionClick: true }).catch(() => {});
} else if (typeof browser !== 'undefined' && browser.sidebarAction) {
  chrome.action.onClicked.addListener(() => void browser.sidebarAction.toggle());
}
