// Smoke test of the capture extension in headless Firefox ESR: the
// extension installed in a scratch profile, the host registered by
// `velkin register` in a scratch home, QuickSave on, and the page entry run
// once on the test site (firefox_trigger.js starts it, since stock Firefox
// cannot be driven from outside). The saved page is checked on disk.
//
//   node --test tests/e2e/firefox.test.mjs    (with VELKIN_HOST_PATH, VELKIN_CLI, VELKIN_LIBRARY)
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';
import {
  extensionDir, firefoxSkipReason, hostEnvironment, hostSkipReason, runFirefoxSmoke, savedPage, scratchFolder,
  startSite, velkin,
} from './harness.mjs';

const skip = firefoxSkipReason() || hostSkipReason() || false;
if (skip) console.log(`skipped: ${skip}`);

test('Firefox ESR saves a page through the extension, the registered host and the library', { skip },
  async (t) => {
    const site = await startSite(t);
    const folder = scratchFolder(t);
    const env = hostEnvironment(folder);
    velkin(env, 'register', process.env.VELKIN_LIBRARY);
    assert.ok(fs.existsSync(path.join(env.HOME, '.mozilla/native-messaging-hosts/com.velkinweb.marrowind.json')));
    const category = path.join(velkin(env, 'book-dir', '--create'), 'From Firefox');
    fs.mkdirSync(category);
    velkin(env, 'registry', 'set', 'HKCU\\Software\\Yx', 'SelectedFolder', category);
    velkin(env, 'registry', 'set', 'HKCU\\Software\\Kestrova\\Marrowind', 'QuickSave', '1', '--dword');

    const { posted, log } = await runFirefoxSmoke({ folder, extensionDir, env, pageUrl: site.pageUrl, site });
    assert.ok(posted, `the extension ran no capture; Firefox said:\n${log}`);
    const reply = JSON.parse(posted.text);
    assert.equal(reply.saved, true, posted.text);
    assert.equal(reply.quickSave, true);
    assert.equal(reply.pagePath, path.join(category, 'Capture test page.htm'));
    const saved = savedPage(category, 'Capture test page');
    assert.match(saved.text, /^<META NAME=pageurl/m);
    assert.ok(saved.text.includes(site.pageUrl));
    assert.deepEqual(saved.pictures, ['one.png', 'two.png']);
    assert.ok(saved.files.includes('cross.css') && saved.files.includes('local.css'), saved.files.join());
  });
