// Smoke test of the capture extension in headless Firefox ESR: the
// extension installed in a scratch profile, the host registered by
// `velkin register` in a scratch home, QuickSave on, and the page entry run
// once on the test site (firefox_trigger.js starts it, since stock Firefox
// cannot be driven from outside). The saved page is checked on disk.
//
//   node --test tests/e2e/firefox.test.mjs    (with VELKIN_HOST_PATH, VELKIN_CLI, VELKIN_LIBRARY)
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';
import {
  extensionDir, hostEnvironment, hostSkipReason, savedPage, scratchFolder, startSite, velkin,
} from './harness.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const firefoxPath = process.env.VELKIN_FIREFOX || '/usr/bin/firefox-esr';
const geckoId = JSON.parse(fs.readFileSync(path.join(extensionDir, 'manifest.json'), 'utf8'))
  .browser_specific_settings.gecko.id;

const skip = (!fs.existsSync(firefoxPath) && `${firefoxPath} not found (apt-get install firefox-esr)`) ||
  hostSkipReason() || false;
if (skip) console.log(`skipped: ${skip}`);

// A profile that loads unsigned add-ons from its extensions folder, with the
// extension there under its gecko id plus the test's trigger.
function makeProfile(folder) {
  const profile = path.join(folder, 'profile');
  const installed = path.join(profile, 'extensions', geckoId);
  fs.cpSync(extensionDir, installed, { recursive: true });
  fs.copyFileSync(path.join(here, 'firefox_trigger.js'), path.join(installed, 'firefox_trigger.js'));
  const manifestPath = path.join(installed, 'manifest.json');
  const manifest = JSON.parse(fs.readFileSync(manifestPath, 'utf8'));
  manifest.background = { scripts: [...manifest.background.scripts, 'firefox_trigger.js'] };
  fs.writeFileSync(manifestPath, JSON.stringify(manifest, null, 2));
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

async function waitFor(check, timeoutMs) {
  for (const end = Date.now() + timeoutMs; Date.now() < end;) {
    const value = check();
    if (value) return value;
    await new Promise((resolve) => setTimeout(resolve, 200));
  }
  return null;
}

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

    const profile = makeProfile(folder);
    const firefox = spawn(firefoxPath, ['--headless', '--no-remote', '--profile', profile,
      `${site.pageUrl}#velkin-smoke`], {
      env: { ...process.env, ...env, MOZ_HEADLESS: '1' }, stdio: ['ignore', 'ignore', 'pipe'], detached: true,
    });
    let log = '';
    firefox.stderr.on('data', (chunk) => { log = (log + chunk).slice(-20000); });
    const exited = new Promise((resolve) => firefox.on('exit', resolve));
    let posted;
    try {
      posted = await waitFor(() => site.posts.find((post) => post.path === '/smoke-result'), 90000);
    } finally {
      // The whole process group, before the scratch profile is removed.
      try { process.kill(-firefox.pid, 'SIGKILL'); } catch { /* already gone */ }
      await exited;
    }
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
