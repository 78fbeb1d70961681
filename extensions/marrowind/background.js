// Velkin Web capture: the background of the extension (a service worker in
// Chromium, an event page in Firefox). Three context-menu entries, the
// toolbar button and a keyboard shortcut hand the document of the frame they
// were used on to the native host "com.velkinweb.marrowind", which asks the
// user where to save and saves the page into the knowledge base.
//
// One capture: connect to the host (one port per capture), ping it, ask the
// content script of the frame for its document snapshot, fill in the style
// sheets the page itself may not read, check what the entry needs (a
// selection, a picture), then send the request and wait for the host's reply
// for as long as the user keeps its dialogs open.
'use strict';

const HOST_NAME = 'com.velkinweb.marrowind';

// The texts the user sees, as the capture scripts have always shown them.
const MESSAGES = {
  setUpIncorrect: 'marrowind set up incorrect!\nPlease setup marrowind again.',
  noText: 'you do not select text!',
  noImage: 'you do not select image!',
};

// The host reads at most this much in one message; a larger snapshot is
// refused here with a message instead of breaking the connection.
const MAX_MESSAGE_BYTES = 64 * 1024 * 1024;
// A host that answers no ping within this time is taken as not set up.
const PING_TIMEOUT_MS = 15000;

const MENU_ENTRIES = [
  { id: 'save-page', title: 'Save web page to Kestrova', contexts: ['page', 'frame'] },
  { id: 'save-selection', title: 'Save selection to Kestrova', contexts: ['selection'] },
  { id: 'save-picture', title: 'Save picture to Kestrova', contexts: ['image'] },
];

function createMenus() {
  chrome.contextMenus.removeAll(() => {
    for (const entry of MENU_ENTRIES) chrome.contextMenus.create(entry, () => void chrome.runtime.lastError);
  });
}

chrome.runtime.onInstalled.addListener(createMenus);
if (chrome.runtime.onStartup) chrome.runtime.onStartup.addListener(createMenus);

// A failure that ends a capture with a text for the user.
class CaptureStop extends Error {
  constructor(userText) {
    super(userText);
    this.userText = userText;
  }
}

// One connection to the native host. Requests carry an id; the reply with
// the same id settles the request. A closed port fails every open request
// with the browser's reason.
class HostConnection {
  constructor() {
    this.port = chrome.runtime.connectNative(HOST_NAME);
    this.pending = new Map();
    this.nextId = 1;
    this.closedReason = null;
    this.port.onMessage.addListener((reply) => {
      const waiter = reply && this.pending.get(reply.id);
      if (!waiter) return;
      this.pending.delete(reply.id);
      waiter.resolve(reply);
    });
    this.port.onDisconnect.addListener(() => {
      const error = chrome.runtime.lastError || this.port.error;
      this.closedReason = (error && error.message) || 'the host closed the connection';
      for (const waiter of this.pending.values()) waiter.reject(new Error(this.closedReason));
      this.pending.clear();
    });
  }

  request(message) {
    if (this.closedReason !== null) return Promise.reject(new Error(this.closedReason));
    const id = this.nextId++;
    return new Promise((resolve, reject) => {
      this.pending.set(id, { resolve, reject });
      try {
        this.port.postMessage({ ...message, id });
      } catch (error) {
        this.pending.delete(id);
        reject(error);
      }
    });
  }

  close() {
    if (this.closedReason === null) this.port.disconnect();
    this.closedReason = this.closedReason || 'closed';
  }
}

// A connection started when a context menu opened, ready for the entry the
// user is about to choose; closed when no capture takes it in time.
const WARM_CONNECTION_MS = 30000;
let warm = null;

function warmUpHost() {
  if (warm) return;
  const connecting = connectToHost();
  connecting.catch(() => {});  // told when a capture takes it
  const timer = setTimeout(() => {
    if (warm && warm.connecting === connecting) warm = null;
    connecting.then((connection) => connection.close(), () => {});
  }, WARM_CONNECTION_MS);
  warm = { connecting, timer };
}

// The warm connection when there is one still open, else a new one.
function takeHostConnection() {
  const taken = warm;
  warm = null;
  if (!taken) return connectToHost();
  clearTimeout(taken.timer);
  return taken.connecting.then(
    (connection) => (connection.closedReason === null ? connection : connectToHost()),
    () => connectToHost());
}

chrome.runtime.onMessage.addListener((message, sender) => {
  if (message && message.request === 'menu-opened' && sender.id === chrome.runtime.id && sender.tab) warmUpHost();
});

async function connectToHost() {
  let connection;
  try {
    connection = new HostConnection();
    let timer;
    const timeout = new Promise((_, reject) => {
      timer = setTimeout(() => reject(new Error('no answer to ping')), PING_TIMEOUT_MS);
    });
    const reply = await Promise.race([connection.request({ request: 'ping' }), timeout]).finally(() =>
      clearTimeout(timer));
    if (!reply || reply.ok !== true) throw new Error('ping refused');
    return connection;
  } catch (error) {
    console.warn('marrowind: the native host cannot be reached:', error && error.message);
    if (connection) connection.close();
    throw new CaptureStop(MESSAGES.setUpIncorrect);
  }
}

// The snapshot of one frame, from the content script there. Where the
// content script is missing (the page was open before the extension was
// installed), it is put into the frame first.
async function frameSnapshot(tabId, frameId) {
  const ask = () => chrome.tabs.sendMessage(tabId, { request: 'snapshot' }, { frameId });
  let reply;
  try {
    reply = await ask();
  } catch (firstError) {
    await chrome.scripting.executeScript({ target: { tabId, frameIds: [frameId] }, files: ['content.js'] });
    reply = await ask();
  }
  if (!reply || typeof reply.url !== 'string') throw new Error('the page sent no document');
  return reply;
}

// The text of a style sheet the page may not read (cross-origin, without
// CORS), fetched with the extension's host permissions. null when it cannot
// be had: the sheet then counts as unreadable.
async function fetchSheetText(href) {
  try {
    const response = await fetch(href, { credentials: 'include', cache: 'force-cache' });
    if (!response.ok) return null;
    return await response.text();
  } catch (error) {
    console.warn('marrowind: cannot fetch the style sheet', href, error && error.message);
    return null;
  }
}

// The content script marks sheets it could not read with "fetchHref"; they
// get their text here. The snapshot keeps the host's fields only.
async function completeStyleSheets(snapshot) {
  const sheets = snapshot.styleSheets || [];
  snapshot.styleSheets = await Promise.all(sheets.map(async (sheet) => {
    if (sheet === null || typeof sheet.fetchHref !== 'string') return sheet;
    return { cssText: await fetchSheetText(sheet.fetchHref) };
  }));
  return snapshot;
}

function messageBytes(message) {
  return new TextEncoder().encode(JSON.stringify(message)).length;
}

// The request for a menu entry, or a CaptureStop when the entry has nothing
// to save (the same checks, in the same order, as the capture scripts).
// A frame whose content script came too late to see the menu open knows no
// element under the pointer: the picture the browser named takes its place.
function requestFor(menuItemId, snapshot, srcUrl) {
  if (snapshot.elementFromPoint === null && srcUrl) snapshot.elementFromPoint = { src: srcUrl };
  switch (menuItemId) {
    case 'save-page':
      return { request: 'save-page', snapshot };
    case 'save-selection': {
      const html = snapshot.selection && snapshot.selection.htmlText;
      if (!html) throw new CaptureStop(MESSAGES.noText);
      return { request: 'save-selection', snapshot };
    }
    case 'save-picture': {
      const src = snapshot.elementFromPoint && snapshot.elementFromPoint.src;
      if (!src) throw new CaptureStop(MESSAGES.noImage);
      return { request: 'save-picture', snapshot, pictureAddress: src };
    }
    default:
      throw new Error(`unknown menu entry ${menuItemId}`);
  }
}

// Shows a text as a message box in the frame (an alert), or as a
// notification where no script may run (the browser's own pages).
async function showMessage(tabId, frameId, text) {
  // The alert stays open until the user closes it; the capture does not
  // wait for that, only for the script to be taken (or refused).
  const shown = chrome.scripting.executeScript({
    target: { tabId, frameIds: [frameId || 0] },
    func: (message) => alert(message),
    args: [text],
  }).then(() => true, (error) => notify(text, error));
  await Promise.race([shown, new Promise((resolve) => setTimeout(resolve, 200))]);
}

function notify(text, reason) {
  console.warn('marrowind:', text.replace(/\n/g, ' '), reason && reason.message ? `(${reason.message})` : '');
  showNotification(text);
}

function showNotification(text) {
  if (!chrome.notifications) return;
  chrome.notifications.create({
    type: 'basic',
    iconUrl: chrome.runtime.getURL('icons/128.png'),
    title: 'Velkin Web',
    message: text,
  }, () => void chrome.runtime.lastError);
}

// A save without the dialog (QuickSave) says where the page went, or why it
// was not saved, in a small notification.
function tellQuickSave(reply) {
  showNotification(reply.saved
    ? `Saved to ${reply.pagePath}`
    : `Velkin Web could not save the page: ${reply.message || `error ${reply.result}`}`);
}

// Runs one capture for a menu entry on a tab and frame. Resolves with the
// host's reply, or with { ok: false, error } when the capture stopped before
// the host had it (the user has been told why).
async function capture(menuItemId, tab, frameId, srcUrl) {
  const tabId = tab && tab.id;
  if (typeof tabId !== 'number' || tabId < 0) return { ok: false, error: 'no tab to capture' };
  let connection = null;
  try {
    // The host starts while the frame describes its document.
    const [connected, described] = await Promise.allSettled([
      takeHostConnection(),
      frameSnapshot(tabId, frameId).then(completeStyleSheets),
    ]);
    if (connected.status === 'fulfilled') connection = connected.value;
    if (connected.status === 'rejected') throw connected.reason;
    if (described.status === 'rejected') throw described.reason;
    const snapshot = described.value;
    const request = requestFor(menuItemId, snapshot, srcUrl);
    const bytes = messageBytes(request);
    if (bytes > MAX_MESSAGE_BYTES) {
      throw new CaptureStop(`The page is too large to save (${Math.ceil(bytes / 1048576)} MiB; ` +
        `at most ${MAX_MESSAGE_BYTES / 1048576} MiB).`);
    }
    const reply = await connection.request(request);
    if (!reply.ok) {
      throw new CaptureStop(`Velkin Web could not save the page: ${reply.error || 'unknown error'}`);
    }
    if (reply.quickSave) tellQuickSave(reply);
    return reply;
  } catch (error) {
    const text = error instanceof CaptureStop
      ? error.userText
      : `Velkin Web could not save the page: ${error && error.message ? error.message : error}`;
    await showMessage(tabId, frameId, text);
    return { ok: false, error: text };
  } finally {
    if (connection) connection.close();
  }
}

// The context menu's handler (tests call it directly: menu entries cannot
// be clicked from a test).
function handleContextClick(info, tab) {
  return capture(info.menuItemId, tab, typeof info.frameId === 'number' ? info.frameId : 0, info.srcUrl);
}
self.handleContextClick = handleContextClick;
chrome.contextMenus.onClicked.addListener((info, tab) => void handleContextClick(info, tab));

// The toolbar button and the shortcut save the whole page of the tab's top
// frame.
function savePageOf(tab) {
  return capture('save-page', tab, 0);
}
chrome.action.onClicked.addListener((tab) => void savePageOf(tab));
chrome.commands.onCommand.addListener(async (command, tab) => {
  if (command !== 'save-page') return;
  const target = tab || (await chrome.tabs.query({ active: true, currentWindow: true }))[0];
  await savePageOf(target);
});
