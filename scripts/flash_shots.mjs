// Takes pictures of the Flash extension at work in Chromium on a virtual
// display, with the native host and the Flash library registered in a
// scratch home: the Flash bar over a movie, the browser's own context menu
// opened on a movie (a real right click through xdotool, the screen taken
// with ImageMagick's import), and the Flash folder panel with a folder tree.
// Run by scripts/screenshot.sh under xvfb-run:
//
//   node scripts/flash_shots.mjs OUTPUT_FOLDER   (VELKIN_CLI, VELKIN_GLINTCATCH_LIBRARY,
//                                                 VELKIN_GLINTCATCH_EXTENSION set)
//
// Prints the path of each picture it wrote.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {
  browserSkipReason, glintcatch, launchBrowser, velkin, withRegisteredHost,
} from '../tests/e2e/harness.mjs';
import { movies, startFlashSite } from '../tests/e2e/flash_site.mjs';

const out = path.resolve(process.argv[2] || '.');
const missing = await browserSkipReason();
if (missing) {
  console.error(`flash_shots: ${missing}`);
  process.exit(1);
}

const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// A Flash folder worth showing: folders, movies, a folder inside a folder.
function fillFlashFolder(env, folder) {
  const files = ['Cartoons/Bouncing ball.swf', 'Cartoons/Old/Walk cycle.swf', 'Games/Tower puzzle.swf',
    'Games/Snake.swf', 'E-cards/Birthday.swf', 'intro.swf'];
  for (const file of files) {
    fs.mkdirSync(path.dirname(path.join(folder, file)), { recursive: true });
    fs.writeFileSync(path.join(folder, file), movies.intro);
  }
  velkin(env, 'registry', 'set', 'HKLM\\SOFTWARE\\Kestrova', 'SavePath', folder);
  velkin(env, 'registry', 'set', 'HKLM\\SOFTWARE\\Marrowind\\Glintcatch', 'SavePath', folder);
}

// The movie's centre in screen pixels (the window sits at 0,0; the page's
// viewport starts below the browser's own bars).
async function screenPoint(page, selector) {
  return page.evaluate((selector) => {
    const box = document.querySelector(selector).getBoundingClientRect();
    const left = window.screenX + (window.outerWidth - window.innerWidth);
    const top = window.screenY + (window.outerHeight - window.innerHeight);
    return { x: Math.round(left + box.left + box.width / 2), y: Math.round(top + box.top + box.height / 2) };
  }, selector);
}

const xdotool = (...args) => execFileSync('xdotool', args.map(String));

async function barShot(page) {
  await page.hover('#text');
  await page.hover('#movie');
  await page.locator('[data-velkin-flash-bar]').waitFor({ state: 'attached', timeout: 10000 });
  const file = path.join(out, 'flash_bar.png');
  await page.screenshot({ path: file, clip: { x: 0, y: 0, width: 520, height: 300 } });
  return file;
}

// The browser's context menu is a window of its own, outside any page
// picture: a real right click on the display, then the whole screen.
async function menuShot(page) {
  const text = await screenPoint(page, '#text');
  const movie = await screenPoint(page, '#movie');
  xdotool('mousemove', text.x, text.y);
  await pause(300);
  xdotool('mousemove', movie.x, movie.y);
  await pause(1000);  // the probe and the menu entries' update
  xdotool('click', 3);
  await pause(1000);
  // More than one entry: Chromium groups them under the extension's name,
  // the third entry from the bottom; open that submenu.
  xdotool('key', 'Up', 'Up', 'Up', 'Right');
  await pause(800);
  const file = path.join(out, 'flash_menu.png');
  execFileSync('import', ['-window', 'root', file]);
  xdotool('key', 'Escape');
  return file;
}

async function panelShot(context) {
  const panel = await context.newPage();
  await panel.setViewportSize({ width: 320, height: 440 });
  await panel.goto(`chrome-extension://${glintcatch.id}/sidepanel.html`);
  await panel.locator('#tree li[data-kind="movie"]').first().waitFor({ timeout: 15000 });
  for (const folder of [['Cartoons'], ['Games']]) {
    await panel.locator(`#tree li[data-path='${JSON.stringify(folder)}'] > .row > .toggle`).click();
  }
  await panel.locator(`#tree li[data-path='${JSON.stringify(['Games', 'Snake.swf'])}']`).waitFor();
  await panel.locator(`#tree li[data-path='${JSON.stringify(['Cartoons'])}'] > .row`).click({ button: 'right' });
  await pause(300);
  const file = path.join(out, 'flash_panel.png');
  await panel.screenshot({ path: file });
  return file;
}

try {
  fs.mkdirSync(out, { recursive: true });
  await withRegisteredHost(async ({ run, folder, env, profileDir }) => {
    fillFlashFolder(env, path.join(folder, 'Flash'));
    const site = await startFlashSite(run);
    const { context, page } = await launchBrowser(run, {
      profileDir, pageUrl: site.pageUrl, headless: false, env: { ...env, QT_QPA_PLATFORM: 'xcb' }, extension: glintcatch,
    });
    await page.bringToFront();
    console.log(await barShot(page));
    console.log(await menuShot(page));
    console.log(await panelShot(context));
  }, process.env.VELKIN_GLINTCATCH_LIBRARY);
} catch (error) {
  console.error(`flash_shots: ${error.message}`);
  process.exitCode = 1;
}
