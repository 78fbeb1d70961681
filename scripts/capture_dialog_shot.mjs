// Takes a picture of the capture dialog shown over a page in Chromium: the
// extension, the native host and the capture library at work, on a virtual
// display. Run by scripts/screenshot.sh under xvfb-run:
//
//   node scripts/capture_dialog_shot.mjs OUTPUT.png   (VELKIN_CLI, VELKIN_LIBRARY set)
//
// Needs chromium and the browser tests' node packages (tests/e2e).
import fs from 'node:fs';
import path from 'node:path';
import {
  browserSkipReason, clickMenu, launchBrowser, menuTarget, withRegisteredHost,
} from '../tests/e2e/harness.mjs';

const output = path.resolve(process.argv[2] || 'capture_dialog.png');
const missing = await browserSkipReason();
if (missing) {
  console.error(`capture_dialog_shot: ${missing}`);
  process.exit(1);
}

try {
  await withRegisteredHost(async ({ run, site, env, profileDir, book }) => {
    for (const category of ['Recipes/Breads', 'Travel/Maps', 'Science', 'Reading list']) {
      fs.mkdirSync(path.join(book, category), { recursive: true });
    }
    // The file types the dialog offers.
    fs.mkdirSync(path.join(env.XDG_DATA_HOME, 'velkin'), { recursive: true });
    fs.writeFileSync(path.join(env.XDG_DATA_HOME, 'velkin/filetype.ini'),
      ['zip', 'Zip archive', '1', 'pdf', 'PDF document', '1', 'mp3', 'MP3 sound', '0'].join('\r\n') + '\r\n');
    fs.rmSync(output, { force: true });
    const answer = { cancel: true, screenshot: output };
    const state = await launchBrowser(run, {
      profileDir, pageUrl: site.pageUrl, headless: false,
      env: { ...env, QT_QPA_PLATFORM: 'xcb', VELKIN_TEST_DIALOG_ANSWER: JSON.stringify(answer) },
    });
    await clickMenu(state.worker, 'save-page', await menuTarget(state.worker, site.pageUrl));
    if (!fs.existsSync(output)) throw new Error('the capture dialog was not shown');
    console.log(output);
  });
} catch (error) {
  console.error(`capture_dialog_shot: ${error.message}`);
  process.exitCode = 1;
}
