// End-to-end tests of the browser capture extension (extensions/marrowind)
// in headless chromium, driven through the service worker's menu handler.
//
//   node --test tests/e2e/            (after bash scripts/npm-ensure.sh tests/e2e)
//
// Without the native host a stand-in host (stub_host.mjs) records what the
// extension sends. With VELKIN_HOST_PATH (the marrowind-host program),
// VELKIN_CLI (velkin) and VELKIN_LIBRARY (libmarrowind.so) the real host
// saves each capture into a scratch knowledge base and the files are checked.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';
import {
  browserSkipReason, clickMenu, dialogsShown, extensionId, hostEnvironment, hostSkipReason, installHostManifest,
  launchBrowser, loggedRequests, menuTarget, savedPage, scratchFolder, setUpIncorrect, startSite, stubHost, velkin,
} from './harness.mjs';

const browserSkip = (await browserSkipReason()) || false;
if (browserSkip) console.log(`skipped: ${browserSkip}`);

const hostSkip = browserSkip || hostSkipReason() || false;
if (hostSkip && !browserSkip) console.log(`skipped: the capture through the native host: ${hostSkip}`);

test('without a reachable host every entry tells that marrowind is set up incorrectly', { skip: browserSkip },
  async (t) => {
    const site = await startSite(t);
    const profileDir = scratchFolder(t);
    const state = await launchBrowser(t, { profileDir, env: {}, pageUrl: site.pageUrl });

    // The three entries exist (update fails for an unknown id).
    const updated = await state.worker.evaluate((ids) => Promise.all(ids.map((id) => new Promise((resolve) => {
      chrome.contextMenus.update(id, {}, () => resolve(chrome.runtime.lastError ? `${id}: missing` : id));
    }))), ['save-page', 'save-selection', 'save-picture']);
    assert.deepEqual(updated, ['save-page', 'save-selection', 'save-picture']);

    const target = await menuTarget(state.worker, site.pageUrl);
    for (const entry of ['save-page', 'save-selection', 'save-picture']) {
      const result = await clickMenu(state.worker, entry, target);
      assert.deepEqual(result, { ok: false, error: setUpIncorrect }, entry);
    }
    assert.deepEqual(await dialogsShown(state, 3), [setUpIncorrect, setUpIncorrect, setUpIncorrect]);
  });

test('each entry sends the host the snapshot of the frame it was used on, or tells what is missing',
  { skip: browserSkip }, async (t) => {
    const site = await startSite(t);
    const folder = scratchFolder(t);
    const profileDir = path.join(folder, 'profile');
    const host = stubHost(folder);
    installHostManifest(profileDir, host.path);
    const state = await launchBrowser(t, { profileDir, env: { STUB_HOST_LOG: host.log }, pageUrl: site.pageUrl });
    const { page, worker } = state;
    const top = await menuTarget(worker, site.pageUrl);
    const captures = () => loggedRequests(host.log).filter((message) => message.request !== 'ping');

    // The whole page: the live root markup, every style sheet in order, the
    // cross-origin one fetched by the background.
    const reply = await clickMenu(worker, 'save-page', top);
    assert.equal(reply.ok, true);
    assert.equal(reply.saved, true);
    const pageRequest = captures().at(-1);
    assert.equal(pageRequest.request, 'save-page');
    const snapshot = pageRequest.snapshot;
    assert.equal(snapshot.url, site.pageUrl);
    assert.equal(snapshot.title, 'Capture test page');
    assert.equal(snapshot.all[0].tagName, 'HTML');
    assert.equal(snapshot.all[0].isHtmlElement, true);
    assert.equal(snapshot.all[0].outerHTML, await page.evaluate(() => document.documentElement.outerHTML));
    assert.equal(snapshot.doctype, '<!DOCTYPE html>');
    assert.equal(snapshot.styleSheetsReadable, true);
    const sheets = snapshot.styleSheets.map((sheet) => sheet.cssText);
    assert.equal(sheets.length, 3);
    assert.match(sheets[0], /\.local-marker/);
    assert.match(sheets[1], /\.cross-marker \{ color: rgb\(1, 2, 3\); \}/);
    assert.match(sheets[2], /\.inline-marker/);
    assert.ok(snapshot.styleSheets.every((sheet) => !('fetchHref' in sheet)), 'only the host\'s fields are sent');

    // A frame's entry captures that frame's document.
    const inner = await menuTarget(worker, site.pageUrl, site.frameUrl);
    assert.notEqual(inner.frameId, 0);
    await clickMenu(worker, 'save-page', inner);
    assert.equal(captures().at(-1).snapshot.url, site.frameUrl);
    assert.equal(captures().at(-1).snapshot.title, 'Inner frame');

    // The selection: nothing selected is refused with the message, and the
    // host gets no request; a selection is sent as markup.
    const before = captures().length;
    assert.deepEqual(await clickMenu(worker, 'save-selection', top),
      { ok: false, error: 'you do not select text!' });
    assert.equal(captures().length, before);
    await page.evaluate(() => {
      const range = document.createRange();
      range.selectNodeContents(document.getElementById('text'));
      getSelection().removeAllRanges();
      getSelection().addRange(range);
    });
    await clickMenu(worker, 'save-selection', top);
    assert.equal(captures().at(-1).request, 'save-selection');
    assert.equal(captures().at(-1).snapshot.selection.htmlText, 'Some <b>bold</b> words');

    // The picture under the pointer where the menu was opened; no picture
    // there is refused with the message.
    await page.click('#second', { button: 'right' });
    await clickMenu(worker, 'save-picture', top);
    assert.equal(captures().at(-1).request, 'save-picture');
    assert.equal(captures().at(-1).pictureAddress, `${site.origin}/two.png`);
    assert.deepEqual(captures().at(-1).snapshot.elementFromPoint, { src: `${site.origin}/two.png` });
    await page.click('#text', { button: 'right' });
    const count = captures().length;
    assert.deepEqual(await clickMenu(worker, 'save-picture', top), { ok: false, error: 'you do not select image!' });
    assert.equal(captures().length, count);
    // In a frame where no menu was seen, the picture the browser named.
    await clickMenu(worker, 'save-picture', inner, { srcUrl: `${site.origin}/one.png` });
    assert.equal(captures().at(-1).pictureAddress, `${site.origin}/one.png`);
    assert.equal(captures().at(-1).snapshot.url, site.frameUrl);

    assert.deepEqual(await dialogsShown(state, 2), ['you do not select text!', 'you do not select image!']);
  });

test('the native host saves the page, the selection and the picture into the knowledge base',
  { skip: hostSkip }, async (t) => {
    const site = await startSite(t);
    const folder = scratchFolder(t);
    const env = hostEnvironment(folder);
    velkin(env, 'register', process.env.VELKIN_LIBRARY);

    const cases = [
      { entry: 'save-page', fileName: 'whole page', prepare: async () => {},
        check: (saved) => {
          assert.deepEqual(saved.pictures, ['one.png', 'two.png']);
          // Style sheets from both sites, the cross-origin one included.
          assert.ok(saved.files.includes('cross.css') && saved.files.includes('local.css'), saved.files.join());
        } },
      { entry: 'save-selection', fileName: 'selected words',
        prepare: (page) => page.evaluate(() => {
          const range = document.createRange();
          range.selectNodeContents(document.getElementById('text'));
          getSelection().removeAllRanges();
          getSelection().addRange(range);
        }),
        check: (saved) => assert.match(saved.text, /Some <B>bold<\/B> words/i) },
      { entry: 'save-picture', fileName: 'one picture',
        prepare: (page) => page.click('#second', { button: 'right' }),
        check: (saved) => assert.deepEqual(saved.pictures, ['two.png']) },
    ];
    for (const c of cases) {
      // The host reads the dialog's answer from its environment, which it
      // has from the browser: one browser per capture.
      const profileDir = path.join(folder, `profile-${c.entry}`);
      installHostManifest(profileDir, process.env.VELKIN_HOST_PATH);
      const answer = JSON.stringify({ fileName: c.fileName, category: '' });
      const state = await launchBrowser(t, {
        profileDir, env: { ...env, VELKIN_TEST_DIALOG_ANSWER: answer }, pageUrl: site.pageUrl,
      });
      await c.prepare(state.page);
      const reply = await clickMenu(state.worker, c.entry, await menuTarget(state.worker, site.pageUrl));
      assert.equal(reply.ok, true, `${c.entry}: ${JSON.stringify(reply)}`);
      assert.equal(reply.result, '0x00000000', c.entry);
      assert.equal(reply.saved, true, `${c.entry}: ${JSON.stringify(reply)}`);
      const saved = savedPage(env.XDG_DATA_HOME, c.fileName);
      assert.match(saved.text, /^<META NAME=pageurl/m, c.entry);
      assert.ok(saved.text.includes(site.pageUrl), `${c.entry}: the header names the page's address`);
      c.check(saved);
      await state.context.close();
    }
  });

test('QuickSave switched on in the options page saves the page at once into the last chosen category',
  { skip: hostSkip }, async (t) => {
    const site = await startSite(t);
    const folder = scratchFolder(t);
    const env = hostEnvironment(folder);
    const profileDir = path.join(folder, 'profile');
    velkin(env, 'register', process.env.VELKIN_LIBRARY, '--user-data-dir', profileDir);
    const category = path.join(velkin(env, 'book-dir', '--create'), 'Quick');
    fs.mkdirSync(category);
    velkin(env, 'registry', 'set', 'HKCU\\Software\\Yx', 'SelectedFolder', category);
    // A dialog would be cancelled: QuickSave must not open one.
    const state = await launchBrowser(t, {
      profileDir, env: { ...env, VELKIN_TEST_DIALOG_ANSWER: '{"cancel":true}' }, pageUrl: site.pageUrl,
    });

    const options = await state.context.newPage();
    await options.goto(`chrome-extension://${extensionId}/options.html`);
    const checkbox = options.locator('#quickSave');
    await options.waitForFunction(() => !document.getElementById('quickSave').disabled);
    assert.equal(await checkbox.isChecked(), false);
    await checkbox.check();
    await options.waitForFunction(() => document.getElementById('status').textContent === 'Pages are saved at once.');
    assert.equal(velkin(env, 'registry', 'get', 'HKCU\\Software\\Kestrova\\Marrowind', 'QuickSave'), '1');

    const reply = await clickMenu(state.worker, 'save-page', await menuTarget(state.worker, site.pageUrl));
    assert.equal(reply.saved, true, JSON.stringify(reply));
    assert.equal(reply.quickSave, true);
    assert.equal(reply.pagePath, path.join(category, 'Capture test page.htm'));
    const saved = savedPage(category, 'Capture test page');
    assert.match(saved.text, /^<META NAME=pageurl/m);
    assert.deepEqual(saved.pictures, ['one.png', 'two.png']);
  });
