// Browser capture benchmark, run on demand (make bench, or the CMake target
// browser_capture_bench). Two figures, each the median of several runs on
// this machine in one go, printed as "NAME ratio R goal <= G":
//
//   capture_dialog_start  from the page entry chosen in the context menu (its
//                         handler called in the extension, headless
//                         chromium, 300 ms after the menu opened) to the
//                         capture dialog shown by marrowind-host, against a
//                         bare Qt dialog program from its start to its
//                         dialog shown; the same without a menu opened first
//                         (toolbar button, shortcut) is printed beside it
//   capture_save          from Save pressed in the dialog to the host's reply
//                         (the page and its files on disk), against
//                         `velkin capture` of the same page from start to exit
//
// Both Qt programs run on the offscreen platform. Absolute times are printed
// as "# " lines. Needs VELKIN_CLI, VELKIN_LIBRARY, VELKIN_HOST_PATH,
// VELKIN_BARE_WINDOW (the CMake target sets them), chromium and the browser
// tests' node packages (bash scripts/npm-ensure.sh tests/e2e).
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {
  browserSkipReason, clickMenu, hostSkipReason, launchBrowser, menuTarget, withRegisteredHost,
} from '../../tests/e2e/harness.mjs';

const RUNS = Number(process.env.VELKIN_BENCH_RUNS || 7);
// How long a user reads the context menu before choosing the entry.
const MENU_READING_MS = 300;
const missing = (await browserSkipReason()) || hostSkipReason() ||
  (!fs.existsSync(process.env.VELKIN_BARE_WINDOW || '') && 'VELKIN_BARE_WINDOW is not set');
if (missing) {
  console.error(`browser_capture_bench: ${missing}`);
  process.exit(1);
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const format = (ms) => `${ms.toFixed(0)} ms`;

function report(name, measured, reference, goal, what) {
  const ratio = median(measured) / median(reference);
  console.log(`# ${name}: ${what[0]} ${format(median(measured))}, ${what[1]} ${format(median(reference))} ` +
    `(medians of ${measured.length})`);
  console.log(`${name} ratio ${ratio.toFixed(2)} goal <= ${goal}`);
}

// The bare dialog program from its start to its dialog shown.
function bareWindowStart(env) {
  return new Promise((resolve, reject) => {
    const started = Date.now();
    const child = spawn(process.env.VELKIN_BARE_WINDOW, [], { env: { ...process.env, ...env } });
    let output = '';
    child.stdout.on('data', (chunk) => { output += chunk; });
    child.on('error', reject);
    child.on('exit', () => {
      const shown = Number((/shown (\d+)/.exec(output) || [])[1]);
      if (!shown) reject(new Error('bare_qt_window showed no dialog'));
      else resolve(shown - started);
    });
  });
}

// A program from its start to its exit. Asynchronous: the test site is
// served by this process.
function timedRun(command, args, env) {
  return new Promise((resolve, reject) => {
    const started = process.hrtime.bigint();
    const child = spawn(command, args, { env: { ...process.env, ...env }, stdio: ['ignore', 'ignore', 'inherit'] });
    child.on('error', reject);
    child.on('exit', (code) => {
      if (code !== 0) reject(new Error(`${path.basename(command)} ${args[0]} failed`));
      else resolve(Number(process.hrtime.bigint() - started) / 1e6);
    });
  });
}

try {
  await withRegisteredHost(async ({ run, folder, site, env, profileDir, book }) => {
    const timesLog = path.join(folder, 'times.log');
    const answer = { fileName: 'bench', category: '', timesLog };
    const state = await launchBrowser(run, {
      profileDir, pageUrl: site.pageUrl, env: { ...env, VELKIN_TEST_DIALOG_ANSWER: JSON.stringify(answer) },
    });
    const target = await menuTarget(state.worker, site.pageUrl);

    // One capture through the page entry; with the menu opened first (a right
    // click, then a moment to choose the entry, as a user does) or without
    // (as the toolbar button and the shortcut do).
    const captureOnce = async (openMenuFirst) => {
      fs.rmSync(timesLog, { force: true });
      fs.rmSync(book, { recursive: true, force: true });
      fs.mkdirSync(book);
      if (openMenuFirst) {
        await state.page.click('#text', { button: 'right' });
        await new Promise((resolve) => setTimeout(resolve, MENU_READING_MS));
      }
      const clicked = Date.now();
      const reply = await clickMenu(state.worker, 'save-page', target);
      const replied = Date.now();
      if (!reply.saved) throw new Error(`the capture failed: ${JSON.stringify(reply)}`);
      const times = Object.fromEntries(fs.readFileSync(timesLog, 'utf8').trim().split('\n')
        .map((line) => line.split(' ')).map(([event, ms]) => [event, Number(ms)]));
      return { shown: times.shown - clicked, saved: replied - times.answered };
    };

    const dialogStart = [];
    const coldStart = [];
    const save = [];
    const bare = [];
    const cli = [];
    // One warm-up each, then the runs alternate so that the machine's noise
    // falls on both sides alike.
    for (let round = -1; round < RUNS; ++round) {
      const times = await captureOnce(true);
      const cold = await captureOnce(false);
      const bareMs = await bareWindowStart(env);
      fs.rmSync(book, { recursive: true, force: true });
      fs.mkdirSync(book);
      const cliMs = await timedRun(process.env.VELKIN_CLI,
        ['capture', site.pageUrl, '--into', '', '--name', 'bench', '--quiet'], env);
      if (round < 0) continue;
      dialogStart.push(times.shown);
      coldStart.push(cold.shown);
      save.push(times.saved, cold.saved);
      bare.push(bareMs);
      cli.push(cliMs);
    }
    report('capture_dialog_start', dialogStart, bare, 1.5, ['menu entry to dialog', 'bare Qt dialog start']);
    console.log(`# without the menu opened first (toolbar button, shortcut): ${format(median(coldStart))}, ` +
      `ratio ${(median(coldStart) / median(bare)).toFixed(2)}`);
    report('capture_save', save, cli, 1.2, ['Save to page on disk', 'velkin capture']);
  });
} catch (error) {
  console.error(`browser_capture_bench: ${error.stack || error.message}`);
  process.exitCode = 1;
}
