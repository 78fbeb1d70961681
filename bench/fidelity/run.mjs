// fidelity: how much a saved page looks like the live page.
//
// Every page of bench/pages is served on 127.0.0.1 (with a second site on
// 127.0.0.2 for cross-origin resources), rendered live in headless chromium,
// saved by velkin capture and by wget -p -k -E -H, and each saved copy is
// rendered from its files with every network request refused. The figure is
// the share of pixels of the full-page screenshot that differ from the live
// one (the larger size of the two counts; tolerance 8 per channel).
//
//   fidelity_NAME       velkin's share of differing pixels   goal <= 0.01
//   fidelity_NAME_wget  wget's, for comparison (no goal)
//   fidelity_mean       the mean of velkin's shares          goal <= 0.01
//   fidelity_time       velkin capture time over wget's, summed over the
//                       pages (median of FIDELITY_RUNS runs each)   goal <= 1.2
//
// Lines of the form "NAME ratio VALUE [goal <= GOAL]", details on "# "
// lines. Exits 0 whether or not the goals are met, 1 when it cannot run.
//
//   node run.mjs [VELKIN]       (default: build/cli/velkin of this tree)
//
// Environment:
//   VELKIN_CAPTURE_ARGS  extra arguments for velkin capture, split on spaces
//                        (like "--plain" or "--jobs 1")
//   FIDELITY_KEEP=DIR    keep the screenshots (NAME.live.png, NAME.velkin.png,
//                        NAME.wget.png, NAME.velkin-diff.png) and the saved
//                        copies in DIR
//   FIDELITY_RUNS=N      timed captures per page and tool (default 3)
//   FIDELITY_PAGES=a,b   only these pages
//   FIDELITY_CHROMIUM    the chromium binary to use
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { comparePictures, launchBrowser, renderPage } from './render.mjs';
import { buildSite, startSites } from './site.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const repo = path.resolve(here, '..', '..');
const pagesDir = path.join(repo, 'bench', 'pages');

function fail(message) {
  console.error(`fidelity: ${message}`);
  process.exit(1);
}

function say(line) {
  process.stdout.write(`${line}\n`);
}

const velkin = path.resolve(process.argv[2] || process.env.VELKIN || path.join(repo, 'build', 'cli', 'velkin'));
if (!fs.existsSync(velkin)) fail(`${velkin} not found (build it, or pass its path)`);
const captureExtra = (process.env.VELKIN_CAPTURE_ARGS || '').split(/\s+/).filter(Boolean);
const runs = Math.max(1, Number.parseInt(process.env.FIDELITY_RUNS || '3', 10) || 3);

// The children get no proxy settings: every address here is on loopback.
const childEnv = { ...process.env };
for (const name of ['http_proxy', 'https_proxy', 'HTTP_PROXY', 'HTTPS_PROXY', 'all_proxy', 'ALL_PROXY']) {
  delete childEnv[name];
}

function pageNames() {
  const all = fs.readdirSync(pagesDir).filter((f) => f.endsWith('.html')).map((f) => f.slice(0, -5)).sort();
  const wanted = (process.env.FIDELITY_PAGES || '').split(',').filter(Boolean);
  const unknown = wanted.filter((name) => !all.includes(name));
  if (unknown.length) fail(`no such page: ${unknown.join(', ')} (pages: ${all.join(', ')})`);
  return wanted.length ? all.filter((name) => wanted.includes(name)) : all;
}

// Runs a program to its end without blocking this process (whose servers
// answer the program), returning its exit code, its standard output and
// error, and the seconds it took.
function runTimed(program, args, env) {
  return new Promise((resolve) => {
    const began = process.hrtime.bigint();
    const child = spawn(program, args, { env, stdio: ['ignore', 'pipe', 'pipe'] });
    let out = '';
    let err = '';
    child.stdout.on('data', (d) => { out += d; });
    child.stderr.on('data', (d) => { err += d; });
    child.on('error', (e) => resolve({ code: -1, out, err: String(e), seconds: 0 }));
    child.on('close', (code) => {
      resolve({ code, out, err, seconds: Number(process.hrtime.bigint() - began) / 1e9 });
    });
  });
}

async function captureWithVelkin(url, name, folder, configDir) {
  const book = path.join(folder, 'kb');
  fs.mkdirSync(book, { recursive: true });
  const args = ['--book', book, 'capture', url, '--into', '/', '--name', name, '--quiet', ...captureExtra];
  const result = await runTimed(velkin, args, { ...childEnv, VELKIN_CONFIG_DIR: configDir });
  const printed = result.out.trim().split('\n').pop();
  const candidates = [printed, path.join(book, `${name}.htm`)].filter(Boolean);
  return { ...result, file: candidates.find((f) => fs.existsSync(f)) };
}

// wget names its copy after the address (host:port/path, ".html" added by
// -E where needed); failing that, the first file of the page's name.
function findWgetCopy(folder, url) {
  const address = new URL(url);
  const direct = path.join(folder, address.host, decodeURIComponent(address.pathname));
  for (const file of [direct, `${direct}.html`]) if (fs.existsSync(file)) return file;
  const base = path.basename(address.pathname);
  const stack = [folder];
  while (stack.length) {
    const dir = stack.pop();
    for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
      const full = path.join(dir, entry.name);
      if (entry.isDirectory()) stack.push(full);
      else if (entry.name === base || entry.name === `${base}.html`) return full;
    }
  }
  return undefined;
}

async function captureWithWget(url, folder) {
  fs.mkdirSync(folder, { recursive: true });
  const result = await runTimed('wget', ['-p', '-k', '-E', '-H', '-P', folder, url], childEnv);
  return { ...result, file: findWgetCopy(folder, url) };
}

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = Math.floor(sorted.length / 2);
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

function fmt(value) {
  return value.toFixed(4);
}

async function main() {
  const names = pageNames();
  const keep = process.env.FIDELITY_KEEP ? path.resolve(process.env.FIDELITY_KEEP) : '';
  const work = keep || fs.mkdtempSync(path.join(os.tmpdir(), 'velkin-fidelity-'));
  if (keep) {
    for (const sub of ['site', 'velkin', 'wget', 'config']) fs.rmSync(path.join(work, sub), { recursive: true, force: true });
    fs.mkdirSync(work, { recursive: true });
  }
  const siteRoot = path.join(work, 'site');
  buildSite(pagesDir, siteRoot);
  const sites = await startSites(siteRoot);
  const browser = await launchBrowser();
  say(`# velkin ${velkin}${captureExtra.length ? ` (capture ${captureExtra.join(' ')})` : ''}`);
  say(`# chromium ${browser.version()}, ${names.length} pages from ${sites.origin} (second site ${sites.other})`);
  say(`# capture times: median of ${runs} runs per page and tool`);

  const results = {};
  try {
    // Live renders and captures first, while the sites are up.
    for (const name of names) {
      const url = `${sites.origin}/${name}.html`;
      const live = await renderPage(browser, url, { offline: false });
      if (live.failed) say(`# ${name}: ${live.failed} requests failed on the live page`);
      // A second live render shows how steady the page renders: the floor
      // under every figure of this page.
      const again = await renderPage(browser, url, { offline: false });
      say(`# ${name}: two live renders differ by ${fmt(comparePictures(live.png, again.png).miss)}`);
      const velkinRuns = [];
      const wgetRuns = [];
      for (let run = 0; run < runs; ++run) {
        // The first run's copies are the ones rendered; the others only time.
        const base = run === 0 ? work : path.join(work, 'again', String(run));
        velkinRuns.push(await captureWithVelkin(url, name, path.join(base, 'velkin', name), path.join(work, 'config')));
        wgetRuns.push(await captureWithWget(url, path.join(base, 'wget', name)));
      }
      results[name] = { live, velkinRuns, wgetRuns };
    }
    await sites.close();
    fs.rmSync(path.join(work, 'again'), { recursive: true, force: true });

    // Then the saved copies, with the sites gone and the network refused.
    const velkinMisses = [];
    let velkinTime = 0;
    let wgetTime = 0;
    for (const name of names) {
      const { live, velkinRuns, wgetRuns } = results[name];
      if (keep) fs.writeFileSync(path.join(work, `${name}.live.png`), live.png);
      const velkinSeconds = median(velkinRuns.map((r) => r.seconds));
      const wgetSeconds = median(wgetRuns.map((r) => r.seconds));
      velkinTime += velkinSeconds;
      wgetTime += wgetSeconds;
      const lines = [];
      for (const [tool, first] of [['velkin', velkinRuns[0]], ['wget', wgetRuns[0]]]) {
        let miss = 1;
        if (tool === 'velkin' && first.code !== 0) {
          say(`# ${name}: velkin exited ${first.code}: ${first.err.trim().split('\n')[0]}`);
        } else if (tool === 'velkin' && first.err.trim()) {
          say(`# ${name}: velkin said: ${first.err.trim().split('\n').join(' | ')}`);
        }
        if (first.file) {
          const saved = await renderPage(browser, pathToFileURL(first.file).href, { offline: true });
          const compared = comparePictures(live.png, saved.png);
          miss = compared.miss;
          const size = `${compared.width}x${compared.height}`;
          say(`# ${name}: ${tool} copy ${path.relative(work, first.file)}, ${saved.blocked.length} network requests refused, compared ${size}`);
          if (keep) {
            fs.writeFileSync(path.join(work, `${name}.${tool}.png`), saved.png);
            if (tool === 'velkin') fs.writeFileSync(path.join(work, `${name}.velkin-diff.png`), compared.diffPng);
          }
        } else {
          say(`# ${name}: ${tool} wrote no copy of the page (exit ${first.code})`);
        }
        lines.push(tool === 'velkin'
          ? `fidelity_${name} ratio ${fmt(miss)} goal <= 0.01`
          : `fidelity_${name}_wget ratio ${fmt(miss)}`);
        if (tool === 'velkin') velkinMisses.push(miss);
      }
      say(`# ${name}: velkin ${(velkinSeconds * 1000).toFixed(1)} ms, wget ${(wgetSeconds * 1000).toFixed(1)} ms`);
      for (const line of lines) say(line);
    }
    const mean = velkinMisses.reduce((sum, v) => sum + v, 0) / Math.max(1, velkinMisses.length);
    say(`fidelity_mean ratio ${fmt(mean)} goal <= 0.01`);
    say(`# all pages: velkin ${(velkinTime * 1000).toFixed(1)} ms, wget ${(wgetTime * 1000).toFixed(1)} ms`);
    say(`fidelity_time ratio ${(wgetTime > 0 ? velkinTime / wgetTime : 0).toFixed(2)} goal <= 1.2`);
    if (keep) say(`# screenshots and saved copies kept in ${work}`);
  } finally {
    await browser.close();
    await sites.close().catch(() => {});
    if (!keep) fs.rmSync(work, { recursive: true, force: true });
  }
}

main().catch((error) => fail(error && error.stack ? error.stack : String(error)));
