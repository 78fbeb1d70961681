// End-to-end tests of the Flash extension (the build's
// extensions/glintcatch, with its player) in headless chromium, through the
// real glintcatch-host and libglintcatch.so registered by `velkin register`
// in a scratch home and settings store.
//
//   node --test tests/e2e/flash.test.mjs
//     (VELKIN_CLI, VELKIN_GLINTCATCH_LIBRARY, VELKIN_GLINTCATCH_EXTENSION set; CTest sets them)
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { test } from 'node:test';
import {
  browserSkipReason, clickMenu, firefoxSkipReason, glintcatch, hostEnvironment, hostSkipReason, launchBrowser,
  menuTarget, runFirefoxSmoke, scratchFolder, velkin, waitFor,
} from './harness.mjs';
import { movies, startFlashSite } from './flash_site.mjs';

const hostSkip = hostSkipReason(['VELKIN_CLI', 'VELKIN_GLINTCATCH_LIBRARY']) ||
  (!fs.existsSync(path.join(glintcatch.dir, 'manifest.json')) && `no extension at ${glintcatch.dir}`) || false;
const skip = (await browserSkipReason()) || hostSkip;
if (skip) console.log(`skipped: ${skip}`);

const OPTIONS_KEY = 'HKLM\\SOFTWARE\\Marrowind\\Glintcatch';

// A scratch home and settings store with the library registered (for the
// profile given and the user's browsers), and the Flash folder both
// SavePath values name.
function registeredHost(folder, { profileDir } = {}) {
  const env = hostEnvironment(folder);
  const register = ['register', process.env.VELKIN_GLINTCATCH_LIBRARY];
  velkin(env, ...register, ...(profileDir ? ['--user-data-dir', profileDir] : []));
  const flashFolder = path.join(folder, 'FlashMovies');
  fs.mkdirSync(flashFolder, { recursive: true });
  velkin(env, 'registry', 'set', 'HKLM\\SOFTWARE\\Kestrova', 'SavePath', flashFolder);
  velkin(env, 'registry', 'set', OPTIONS_KEY, 'SavePath', flashFolder);
  return { env, flashFolder };
}

async function launch(t, { folder, env, pageUrl, answer }) {
  const profileDir = path.join(folder, 'profile');
  const hostEnv = answer ? { ...env, VELKIN_TEST_FLASH_ANSWER: JSON.stringify(answer) } : env;
  return launchBrowser(t, { profileDir, env: hostEnv, pageUrl, extension: glintcatch });
}

const flashBar = (frame) => frame.locator('[data-velkin-flash-bar]');

test('the Flash bar comes over a movie the pointer moves onto and goes when it moves off, as the options say',
  { skip }, async (t) => {
    const folder = scratchFolder(t);
    const { env, flashFolder } = registeredHost(folder, { profileDir: path.join(folder, 'profile') });
    fs.writeFileSync(path.join(flashFolder, 'own.swf'), movies.intro);
    const site = await startFlashSite(t, { ownMovie: pathToFileURL(path.join(flashFolder, 'own.swf')).href });
    const { page, worker } = await launch(t, { folder, env, pageUrl: site.pageUrl });

    // The Flash menu's entries and the page entry exist.
    const ids = ['flash-save', 'flash-options', 'flash-help', 'flash-about', 'flash-separator', 'save-flash-page'];
    const updated = await worker.evaluate((ids) => Promise.all(ids.map((id) => new Promise((resolve) => {
      chrome.contextMenus.update(id, {}, () => resolve(chrome.runtime.lastError ? `${id}: missing` : id));
    }))), ids);
    assert.deepEqual(updated, ids);

    // Onto the movie: the bar sits on its top-left corner with the four
    // buttons' tooltips (read through the closed root's layout: the host
    // element is all the page sees).
    await page.hover('#text');
    await page.hover('#movie');
    await flashBar(page).waitFor({ state: 'attached', timeout: 10000 });
    const movieBox = await page.locator('#movie').boundingBox();
    const barBox = await flashBar(page).boundingBox();
    assert.deepEqual([Math.round(barBox.x), Math.round(barBox.y)], [Math.round(movieBox.x), Math.round(movieBox.y)]);
    assert.equal(await page.evaluate(() => document.querySelector('[data-velkin-flash-bar]').shadowRoot), null,
      'the bar\'s root is closed to the page');
    // Onto the bar itself: it stays; onto text: it goes.
    await page.mouse.move(barBox.x + 4, barBox.y + 4);
    assert.equal(await flashBar(page).count(), 1);
    await page.hover('#text');
    await flashBar(page).waitFor({ state: 'detached', timeout: 10000 });

    // An EMBED is never a movie; a movie of the user's own Flash folder
    // gets no bar.
    for (const selector of ['#embed', '#own']) {
      await page.hover('#text');
      await page.hover(selector);
      await new Promise((resolve) => setTimeout(resolve, 700));
      assert.equal(await flashBar(page).count(), 0, selector);
    }

    // A movie in a frame gets its bar in that frame.
    const frame = page.frameLocator('#frame');
    await page.hover('#text');
    await page.locator('#frame').scrollIntoViewIfNeeded();
    const frameBox = await page.locator('#frame').boundingBox();
    await page.mouse.move(frameBox.x + frameBox.width - 10, frameBox.y + frameBox.height - 10);
    await frame.locator('#inner').hover();
    await flashBar(frame).waitFor({ state: 'attached', timeout: 10000 });

    // The options are read afresh at every probe: ShowToolbar off, no bar.
    velkin(env, 'registry', 'set', OPTIONS_KEY, 'ShowToolbar', '0', '--dword');
    await page.hover('#text');
    await page.hover('#movie');
    await new Promise((resolve) => setTimeout(resolve, 700));
    assert.equal(await flashBar(page).count(), 0);
  });

test('the page entry saves the movies of the page and of its frame, the bar and the menu the one movie',
  { skip }, async (t) => {
    const folder = scratchFolder(t);
    const { env, flashFolder } = registeredHost(folder, { profileDir: path.join(folder, 'profile') });
    const site = await startFlashSite(t);
    const { page, worker } = await launch(t, {
      folder, env, pageUrl: site.pageUrl, answer: { folder: '', overwrite: true },
    });

    const reply = await clickMenu(worker, 'save-flash-page', await menuTarget(worker, site.pageUrl));
    assert.equal(reply.ok, true, JSON.stringify(reply));
    assert.equal(reply.saved, true, JSON.stringify(reply));
    // The OBJECT of the page and the one in its frame, byte for byte; the
    // EMBED is left out.
    assert.deepEqual(fs.readdirSync(flashFolder).sort(), ['clip.swf', 'intro.swf']);
    assert.ok(fs.readFileSync(path.join(flashFolder, 'intro.swf')).equals(movies.intro));
    assert.ok(fs.readFileSync(path.join(flashFolder, 'clip.swf')).equals(movies.clip));

    // The bar's Save (its first button, inside the closed root: clicked by
    // position) saves the movie under the pointer, and only that one.
    fs.rmSync(path.join(flashFolder, 'intro.swf'));
    fs.rmSync(path.join(flashFolder, 'clip.swf'));
    await page.hover('#text');
    await page.hover('#movie');
    await flashBar(page).waitFor({ state: 'attached', timeout: 10000 });
    const bar = await flashBar(page).boundingBox();
    await page.mouse.click(bar.x + 12, bar.y + bar.height / 2);
    assert.ok(await waitFor(() => fs.existsSync(path.join(flashFolder, 'intro.swf')), 20000), 'the bar saved nothing');
    assert.deepEqual(fs.readdirSync(flashFolder), ['intro.swf']);

    // The Flash menu acts on the movie the pointer last rested on: the
    // frame's movie here.
    await page.locator('#frame').scrollIntoViewIfNeeded();
    const frameBox = await page.locator('#frame').boundingBox();
    await page.mouse.move(frameBox.x + frameBox.width - 10, frameBox.y + frameBox.height - 10);
    await page.frameLocator('#frame').locator('#inner').hover();
    await flashBar(page.frameLocator('#frame')).waitFor({ state: 'attached', timeout: 10000 });
    const menuReply = await clickMenu(worker, 'flash-save', await menuTarget(worker, site.pageUrl, site.frameUrl));
    assert.equal(menuReply.saved, true, JSON.stringify(menuReply));
    assert.deepEqual(fs.readdirSync(flashFolder).sort(), ['clip.swf', 'intro.swf']);

    // A menu opened on a movie before any mouse-out there (the pointer was on
    // it since the page loaded) probes it then: the entry saves that movie.
    fs.rmSync(path.join(flashFolder, 'intro.swf'));
    await page.reload();
    await page.locator('#movie').dispatchEvent('contextmenu');
    await flashBar(page).waitFor({ state: 'attached', timeout: 10000 });
    const reloaded = await menuTarget(worker, site.pageUrl);
    assert.equal((await clickMenu(worker, 'flash-save', reloaded)).saved, true);
    assert.ok(fs.existsSync(path.join(flashFolder, 'intro.swf')));
  });

// The panel's rows as the user reads them: indented text per item.
async function panelRows(panel) {
  return panel.evaluate(() => Array.from(document.querySelectorAll('#tree li'), (item) => {
    const depth = JSON.parse(item.dataset.path).length;
    const label = item.querySelector(':scope > .row > .label, :scope > .row > input');
    return `${'  '.repeat(depth)}${label.value ?? label.textContent}`;
  }));
}

const row = (panel, treePath) => panel.locator(`#tree li[data-path='${JSON.stringify(treePath)}'] > .row`);

test('the Flash folder panel lists, renames, makes folders and plays movies through the host', { skip },
  async (t) => {
    const folder = scratchFolder(t);
    const { env, flashFolder } = registeredHost(folder, { profileDir: path.join(folder, 'profile') });
    fs.mkdirSync(path.join(flashFolder, 'Cartoons'));
    fs.writeFileSync(path.join(flashFolder, 'intro.swf'), movies.intro);
    fs.writeFileSync(path.join(flashFolder, 'clip.swf'), movies.clip);
    fs.writeFileSync(path.join(flashFolder, 'notes.txt'), 'not a movie');
    const site = await startFlashSite(t);
    const { context } = await launch(t, { folder, env, pageUrl: site.pageUrl });
    const panel = await context.newPage();
    await panel.goto(`chrome-extension://${glintcatch.id}/sidepanel.html`);

    await panel.locator('#tree li[data-kind="movie"]').first().waitFor({ timeout: 15000 });
    assert.deepEqual(await panelRows(panel), ['Flash', '  Cartoons', '  clip', '  intro']);

    // A name another movie has is refused with the host's message and the
    // edit stays open; a free name renames the file.
    await row(panel, ['clip.swf']).click({ button: 'right' });
    await panel.locator('#menu [data-command="rename"]').click();
    await panel.locator('#tree input').fill('intro');
    await panel.locator('#tree input').press('Enter');
    await panel.locator('#message').waitFor({ state: 'visible' });
    assert.equal(await panel.locator('#message').textContent(), 'The file name has existed, Please rename...');
    assert.equal(await panel.locator('#tree input').count(), 1);
    await panel.locator('#tree input').fill('Clip two');
    await panel.locator('#tree input').press('Enter');
    assert.ok(await waitFor(() => fs.existsSync(path.join(flashFolder, 'Clip two.swf')), 10000));
    assert.equal(fs.existsSync(path.join(flashFolder, 'clip.swf')), false);

    // New Folder under a folder makes it on disk and opens its name for
    // editing; the context menu on a movie offers no New Folder.
    await row(panel, ['Cartoons']).click();
    await panel.locator('#toolbar [data-command="newFolder"]').click();
    await panel.locator('#tree input').waitFor();
    assert.equal(await panel.locator('#tree input').inputValue(), 'New Folder');
    assert.ok(fs.statSync(path.join(flashFolder, 'Cartoons/New Folder')).isDirectory());
    await panel.locator('#tree input').press('Escape');
    await row(panel, ['intro.swf']).click({ button: 'right' });
    assert.equal(await panel.locator('#menu [data-command="newFolder"]').isDisabled(), true);
    await panel.keyboard.press('Escape');

    // A movie copied in from outside shows up (the host's change event).
    fs.writeFileSync(path.join(flashFolder, 'arrived.swf'), movies.clip);
    await row(panel, ['arrived.swf']).waitFor({ timeout: 10000 });

    // Selecting a movie plays it on the player page, from the host's bytes.
    const [player] = await Promise.all([context.waitForEvent('page'), row(panel, ['intro.swf']).click()]);
    await player.waitForLoadState();
    assert.match(player.url(), /\/player\.html\?path=/);
    await player.locator('ruffle-player').waitFor({ state: 'attached', timeout: 20000 });
    assert.equal(await player.locator('#status').isHidden(), true, await player.locator('#status').textContent());
    // The player read the movie's own header: intro's stage and colour.
    const metadata = await player.waitForFunction(() => {
      const element = document.querySelector('ruffle-player');
      const api = element.ruffle ? element.ruffle() : element;
      return api.metadata && { width: api.metadata.width, colour: api.metadata.backgroundColor };
    }, null, { timeout: 20000 });
    assert.deepEqual(await metadata.jsonValue(), { width: 320, colour: '#C82828' });
  });

test('Firefox ESR saves the movies of a page through the extension and the registered host',
  { skip: firefoxSkipReason() || hostSkip }, async (t) => {
    const folder = scratchFolder(t);
    const { env, flashFolder } = registeredHost(folder);
    assert.ok(fs.existsSync(path.join(env.HOME, '.mozilla/native-messaging-hosts/com.velkinweb.glintcatch.json')));
    const site = await startFlashSite(t);
    const { posted, log } = await runFirefoxSmoke({
      folder, extensionDir: glintcatch.dir, pageUrl: site.pageUrl, site, menuItemId: 'save-flash-page',
      env: { ...env, VELKIN_TEST_FLASH_ANSWER: JSON.stringify({ folder: '', overwrite: true }) },
    });
    assert.ok(posted, `the extension ran no save; Firefox said:\n${log}`);
    const reply = JSON.parse(posted.text);
    assert.equal(reply.saved, true, posted.text);
    assert.deepEqual(fs.readdirSync(flashFolder).sort(), ['clip.swf', 'intro.swf']);
  });
