// What the browser capture tests share: the test site on 127.0.0.1, a
// scratch profile with the native host's manifest, headless chromium with
// the extension loaded, and calls into the extension's service worker.
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import zlib from 'node:zlib';

const here = path.dirname(fileURLToPath(import.meta.url));
export const chromiumPath = process.env.VELKIN_CHROMIUM || '/usr/lib/chromium/chromium';

// The two extensions under test: where the browser loads each from, its
// id and its native host. The Flash extension is loaded as the build
// assembles it (with its player), named by VELKIN_GLINTCATCH_EXTENSION.
export const marrowind = {
  dir: path.resolve(here, '../../extensions/marrowind'),
  id: 'ccoohepbkfgcoppcfnaipiglhpmngokm',
  hostName: 'com.velkinweb.marrowind',
  description: 'Velkin Web browser capture',
};
export const glintcatch = {
  dir: process.env.VELKIN_GLINTCATCH_EXTENSION || path.resolve(here, '../../build/extensions/glintcatch'),
  id: 'afphagoinfljpokfgecbobkclominpol',
  hostName: 'com.velkinweb.glintcatch',
  description: 'Velkin Web Flash capture',
};
export const extensionDir = marrowind.dir;
export const hostName = marrowind.hostName;
export const extensionId = marrowind.id;

export const setUpIncorrect = 'marrowind set up incorrect!\nPlease setup marrowind again.';

// Why the browser tests cannot run here, or null when they can.
export async function browserSkipReason() {
  if (!fs.existsSync(chromiumPath)) return `${chromiumPath} not found (apt-get install chromium)`;
  try {
    await import('playwright-core');
  } catch {
    return 'playwright-core is not installed (bash scripts/npm-ensure.sh tests/e2e)';
  }
  return null;
}

// Cleanups of a test, run last registered first (as a test's after() hooks
// are not): a browser started in a scratch folder is closed before the
// folder goes, so it cannot write into the folder while it is removed.
const cleanupLists = new WeakMap();
export function onCleanup(t, cleanup) {
  let list = cleanupLists.get(t);
  if (!list) {
    list = [];
    cleanupLists.set(t, list);
    t.after(async () => {
      for (const each of list.reverse()) await each();
    });
  }
  list.push(cleanup);
}

export function scratchFolder(t) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'velkin-e2e-'));
  onCleanup(t, () => fs.rmSync(folder, { recursive: true, force: true, maxRetries: 5, retryDelay: 200 }));
  return folder;
}

// Serves routes() by path; a POST's body goes to posted (path, text).
export function serve(routes, posted = () => {}) {
  const server = http.createServer((request, response) => {
    if (request.method === 'POST') {
      const chunks = [];
      request.on('data', (chunk) => chunks.push(chunk));
      request.on('end', () => {
        posted(new URL(request.url, 'http://x').pathname, Buffer.concat(chunks).toString('utf8'));
        response.writeHead(204).end();
      });
      return;
    }
    const route = routes()[new URL(request.url, 'http://x').pathname];
    if (!route) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Type': route.type, 'Cache-Control': 'no-store' });
    response.end(route.body);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// A small PNG in one colour, so the two pictures differ.
function solidPng([r, g, b]) {
  const size = 8;
  const rows = Buffer.alloc((size * 3 + 1) * size);
  for (let y = 0; y < size; ++y) {
    for (let x = 0; x < size; ++x) rows.set([r, g, b], y * (size * 3 + 1) + 1 + x * 3);
  }
  const chunk = (kind, data) => {
    const length = Buffer.alloc(4);
    length.writeUInt32BE(data.length);
    const body = Buffer.concat([Buffer.from(kind), data]);
    const crc = Buffer.alloc(4);
    crc.writeUInt32BE(zlib.crc32(body));
    return Buffer.concat([length, body, crc]);
  };
  const header = Buffer.alloc(13);
  header.writeUInt32BE(size, 0);
  header.writeUInt32BE(size, 4);
  header.set([8, 2, 0, 0, 0], 8);
  return Buffer.concat([Buffer.from('89504e470d0a1a0a', 'hex'), chunk('IHDR', header),
    chunk('IDAT', zlib.deflateSync(rows)), chunk('IEND', Buffer.alloc(0))]);
}

// The test site: a page with two pictures, a same-origin, an inline and a
// cross-origin style sheet (another port, without CORS headers, so the page
// may not read its rules), and a frame. Returns its addresses and the
// bodies posted to it ({ path, text }).
export async function startSite(t) {
  const posts = [];
  let origin = '';
  let otherOrigin = '';
  const other = await serve(() => ({
    '/cross.css': { type: 'text/css', body: '.cross-marker { color: rgb(1, 2, 3); }\n' },
  }));
  const site = await serve(() => ({
    '/page.html': {
      type: 'text/html; charset=utf-8',
      body: `<!DOCTYPE html>
<html><head><title>Capture test page</title>
<link rel="stylesheet" href="/local.css">
<link rel="stylesheet" href="${otherOrigin}/cross.css">
<style>.inline-marker { margin: 0px; }</style>
</head><body>
<p id="text">Some <b>bold</b> words</p>
<img id="first" src="/one.png" width="40" height="40" alt="one">
<img id="second" src="/two.png" width="40" height="40" alt="two">
<iframe id="frame" src="/frame.html" width="200" height="100"></iframe>
</body></html>`,
    },
    '/frame.html': { type: 'text/html', body: '<!DOCTYPE html><title>Inner frame</title><p>In the frame</p>' },
    '/local.css': { type: 'text/css', body: '.local-marker { color: red; }\n' },
    '/one.png': { type: 'image/png', body: solidPng([200, 30, 30]) },
    '/two.png': { type: 'image/png', body: solidPng([30, 30, 200]) },
  }), (where, text) => posts.push({ path: where, text }));
  origin = `http://127.0.0.1:${site.address().port}`;
  otherOrigin = `http://127.0.0.1:${other.address().port}`;
  onCleanup(t, () => {
    site.close();
    other.close();
  });
  return { origin, otherOrigin, pageUrl: `${origin}/page.html`, frameUrl: `${origin}/frame.html`, posts };
}

// Writes the host manifest into the profile (Chromium reads
// <user-data-dir>/NativeMessagingHosts/ first).
export function installHostManifest(profileDir, hostPath, extension = marrowind) {
  const folder = path.join(profileDir, 'NativeMessagingHosts');
  fs.mkdirSync(folder, { recursive: true });
  fs.writeFileSync(path.join(folder, `${extension.hostName}.json`), JSON.stringify({
    name: extension.hostName,
    description: extension.description,
    path: hostPath,
    type: 'stdio',
    allowed_origins: [`chrome-extension://${extension.id}/`],
  }, null, 2));
}

// A stand-in host (stub_host.mjs) started through a shell wrapper, since
// the browser runs the host's path directly.
export function stubHost(folder) {
  const wrapper = path.join(folder, 'stub-host.sh');
  fs.writeFileSync(wrapper, `#!/bin/sh\nexec '${process.execPath}' '${path.join(here, 'stub_host.mjs')}' "$@"\n`,
    { mode: 0o755 });
  return { path: wrapper, log: path.join(folder, 'stub-host.log') };
}

export function loggedRequests(logPath) {
  if (!fs.existsSync(logPath)) return [];
  return fs.readFileSync(logPath, 'utf8').split('\n').filter(Boolean).map((line) => JSON.parse(line));
}

// Headless chromium with the extension, its worker and the test page open.
// env reaches the native host (the browser passes its environment on).
// headless false shows the window on the display in DISPLAY (screenshots).
export async function launchBrowser(t, { profileDir, env, pageUrl, headless = true, extension = marrowind }) {
  const { chromium } = await import('playwright-core');
  const context = await chromium.launchPersistentContext(profileDir, {
    executablePath: chromiumPath,
    headless,
    viewport: headless ? undefined : null,
    env: { ...process.env, ...env },
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--disable-dev-shm-usage', '--test-type', '--window-position=0,0',
      '--window-size=1100,760',
      `--disable-extensions-except=${extension.dir}`, `--load-extension=${extension.dir}`],
  });
  onCleanup(t, () => context.close());
  const worker = await extensionWorker(context, extension);
  const page = context.pages()[0] || await context.newPage();
  const dialogs = [];
  page.on('dialog', (dialog) => {
    dialogs.push(dialog.message());
    dialog.accept().catch(() => {});
  });
  await page.goto(pageUrl);
  await page.waitForFunction(() => Array.from(document.images).every((image) => image.complete));
  return { context, worker, page, dialogs };
}

// Playwright can miss a service worker that starts under load: look again
// until it is there and its handler is set.
async function extensionWorker(context, extension) {
  const prefix = `chrome-extension://${extension.id}/`;
  for (let attempt = 0; attempt < 150; ++attempt) {
    const worker = context.serviceWorkers().find((w) => w.url().startsWith(prefix));
    if (worker) {
      const ready = await worker.evaluate(() => typeof self.handleContextClick === 'function').catch(() => false);
      if (ready) return worker;
    }
    await context.waitForEvent('serviceworker', { timeout: 200 }).catch(() => {});
  }
  throw new Error('the extension\'s service worker did not start');
}

// The tab and frame ids of the page, as a menu click would name them.
export async function menuTarget(worker, pageUrl, frameUrl = pageUrl) {
  return worker.evaluate(async ({ pageUrl, frameUrl }) => {
    const tab = (await chrome.tabs.query({})).find((candidate) => candidate.url === pageUrl);
    const frames = await chrome.scripting.executeScript({
      target: { tabId: tab.id, allFrames: true }, func: () => location.href,
    });
    const frame = frames.find((result) => result.result === frameUrl);
    return { tab, frameId: frame.frameId };
  }, { pageUrl, frameUrl });
}

// Runs a menu entry through the worker's handler; resolves with its result
// (the host's reply, or { ok: false, error } with the text shown).
export async function clickMenu(worker, menuItemId, { tab, frameId }, more = {}) {
  return worker.evaluate(({ info, tab }) => self.handleContextClick(info, tab),
    { info: { menuItemId, frameId, pageUrl: tab.url, ...more }, tab });
}

// Waits until the page has shown count message boxes (the extension shows
// them without waiting for the user).
export async function dialogsShown(state, count) {
  for (let attempt = 0; attempt < 100 && state.dialogs.length < count; ++attempt) {
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
  return state.dialogs.slice();
}

// Why the capture through the real host cannot run here, or null.
export function hostSkipReason(names = ['VELKIN_HOST_PATH', 'VELKIN_CLI', 'VELKIN_LIBRARY']) {
  for (const name of names) {
    if (!process.env[name]) return `${name} is not set`;
    if (!fs.existsSync(process.env[name])) return `${name}=${process.env[name]} does not exist`;
  }
  return null;
}

// A home, settings store and data folder of the test's own, which the
// browser passes on to the host.
export function hostEnvironment(folder) {
  const env = {
    HOME: path.join(folder, 'home'),
    XDG_CONFIG_HOME: path.join(folder, 'home/.config'),
    VELKIN_CONFIG_DIR: path.join(folder, 'config'),
    XDG_DATA_HOME: path.join(folder, 'data'),
    QT_QPA_PLATFORM: 'offscreen',
  };
  for (const dir of Object.values(env).filter((value) => value.startsWith(folder))) {
    fs.mkdirSync(dir, { recursive: true });
  }
  return env;
}

// Runs the velkin command line in env; its output without the line end.
export function velkin(env, ...args) {
  return execFileSync(process.env.VELKIN_CLI, args, { env: { ...process.env, ...env }, encoding: 'utf8' }).trim();
}

// The saved page named fileName anywhere under folder, with its companion
// folder's file names.
export function savedPage(folder, fileName) {
  const found = fs.readdirSync(folder, { recursive: true, withFileTypes: true }).find((entry) =>
    entry.isFile() && /^.+\.html?$/i.test(entry.name) && path.parse(entry.name).name === fileName);
  if (!found) throw new Error(`no page ${fileName} under ${folder}`);
  const file = path.join(found.parentPath ?? found.path, found.name);
  const stem = path.join(path.dirname(file), path.parse(file).name);
  const companion = [`${stem}.files`, `${stem}_files`].find((candidate) => fs.existsSync(candidate));
  return {
    text: fs.readFileSync(file, 'utf8'),
    files: companion ? fs.readdirSync(companion).sort() : [],
    pictures: companion ? fs.readdirSync(companion).filter((name) => name.endsWith('.png')).sort() : [],
  };
}

// For scripts outside the test runner (screenshots, benchmarks): the test
// site, a scratch home and knowledge base, the host registered for a
// chromium profile there; body gets them with a stand-in for a test's
// after(), and everything is cleaned up when it ends.
export async function withRegisteredHost(body, library = process.env.VELKIN_LIBRARY) {
  const cleanups = [];
  const run = { after: (cleanup) => cleanups.push(cleanup) };
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'velkin-run-'));
  try {
    const site = await startSite(run);
    const env = hostEnvironment(folder);
    const profileDir = path.join(folder, 'profile');
    velkin(env, 'register', library, '--user-data-dir', profileDir);
    const book = velkin(env, 'book-dir', '--create');
    return await body({ run, folder, site, env, profileDir, book });
  } finally {
    for (const cleanup of cleanups.reverse()) await cleanup();
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

// --- Firefox ESR -------------------------------------------------------
// Stock Firefox cannot be driven from outside: a smoke test installs the
// extension with the test's trigger (firefox_trigger.js) in a scratch
// profile, opens the page with "#velkin-smoke:MENU_ENTRY" and waits for the
// trigger to post the entry's result to the test site.
export const firefoxPath = process.env.VELKIN_FIREFOX || '/usr/bin/firefox-esr';

export function firefoxSkipReason() {
  return fs.existsSync(firefoxPath) ? null : `${firefoxPath} not found (apt-get install firefox-esr)`;
}

// A profile that loads unsigned add-ons from its extensions folder, with the
// extension there under its gecko id plus the test's trigger.
function firefoxProfile(folder, extensionDir) {
  const manifest = JSON.parse(fs.readFileSync(path.join(extensionDir, 'manifest.json'), 'utf8'));
  const profile = path.join(folder, 'profile');
  const installed = path.join(profile, 'extensions', manifest.browser_specific_settings.gecko.id);
  fs.cpSync(extensionDir, installed, { recursive: true });
  fs.copyFileSync(path.join(here, 'firefox_trigger.js'), path.join(installed, 'firefox_trigger.js'));
  manifest.background = { scripts: [...manifest.background.scripts, 'firefox_trigger.js'] };
  fs.writeFileSync(path.join(installed, 'manifest.json'), JSON.stringify(manifest, null, 2));
  const prefs = {
    'xpinstall.signatures.required': false,
    'extensions.autoDisableScopes': 0,
    'extensions.enabledScopes': 15,
    'browser.shell.checkDefaultBrowser': false,
    'datareporting.policy.dataSubmissionEnabled': false,
    'app.update.enabled': false,
    'network.proxy.type': 0,
  };
  fs.writeFileSync(path.join(profile, 'user.js'),
    Object.entries(prefs).map(([name, value]) => `user_pref(${JSON.stringify(name)}, ${JSON.stringify(value)});\n`)
      .join(''));
  return profile;
}

export async function waitFor(check, timeoutMs) {
  for (const end = Date.now() + timeoutMs; Date.now() < end;) {
    const value = await check();
    if (value) return value;
    await new Promise((resolve) => setTimeout(resolve, 200));
  }
  return null;
}

// Runs menuItemId of the extension in folder on pageUrl in headless Firefox
// ESR, env reaching the host. Resolves with the trigger's post to site
// ({ path, text }, or null when none came) and Firefox's last words.
export async function runFirefoxSmoke({ folder, extensionDir, env, pageUrl, site, menuItemId = 'save-page' }) {
  const profile = firefoxProfile(folder, extensionDir);
  const firefox = spawn(firefoxPath, ['--headless', '--no-remote', '--profile', profile,
    `${pageUrl}#velkin-smoke:${menuItemId}`], {
    env: { ...process.env, ...env, MOZ_HEADLESS: '1' }, stdio: ['ignore', 'ignore', 'pipe'], detached: true,
  });
  let log = '';
  firefox.stderr.on('data', (chunk) => { log = (log + chunk).slice(-20000); });
  const exited = new Promise((resolve) => firefox.on('exit', resolve));
  try {
    const posted = await waitFor(() => site.posts.find((post) => post.path === '/smoke-result'), 90000);
    return { posted, log };
  } finally {
    // The whole process group, before the scratch profile is removed.
    try { process.kill(-firefox.pid, 'SIGKILL'); } catch { /* already gone */ }
    await exited;
  }
}
