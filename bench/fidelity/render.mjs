// Rendering a page to a full-page screenshot in headless chromium, the same
// way for the live page and for its saved copies, and comparing two
// screenshots pixel by pixel.
import fs from 'node:fs';
import { chromium } from 'playwright-core';
import { PNG } from 'pngjs';

const chromiumCandidates = ['/usr/lib/chromium/chromium', '/usr/bin/chromium'];

// Without the background-networking switches chromium's own start-up
// connections get in the way of loopback pages on a machine without
// internet access; the sandbox needs privileges a root shell lacks.
const chromiumArgs = [
  '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  '--disable-dev-shm-usage', '--hide-scrollbars', '--font-render-hinting=none',
  // A saved copy names its fonts and frames by file: addresses; a desktop
  // viewer of saved pages lets them load, and so does this one.
  '--allow-file-access-from-files',
];

export const viewport = { width: 1280, height: 800 };

export function findChromium() {
  const chosen = process.env.FIDELITY_CHROMIUM || chromiumCandidates.find((file) => fs.existsSync(file));
  if (!chosen || !fs.existsSync(chosen)) {
    throw new Error('chromium not found (install the Debian package chromium, or set FIDELITY_CHROMIUM)');
  }
  return chosen;
}

export function launchBrowser() {
  return chromium.launch({ executablePath: findChromium(), args: chromiumArgs, headless: true });
}

// Waits until the page has nothing left to fetch: network idle, fonts of
// every frame ready, media elements done reading their metadata (or failed).
async function settle(page) {
  await page.waitForLoadState('load', { timeout: 30000 }).catch(() => {});
  await page.waitForLoadState('networkidle', { timeout: 15000 }).catch(() => {});
  for (const frame of page.frames()) {
    await frame.evaluate(async () => {
      await document.fonts.ready;
      const media = [...document.querySelectorAll('video, audio')];
      const deadline = Date.now() + 5000;
      while (Date.now() < deadline &&
             media.some((m) => m.readyState < 1 && !m.error && m.networkState !== 3)) {
        await new Promise((done) => setTimeout(done, 50));
      }
      await new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done)));
    }).catch(() => {});
  }
}

// Scrolls to the bottom one window at a time and back, so that pictures
// loaded on approach (scripted or loading="lazy") are fetched.
async function scrollThrough(page) {
  await page.evaluate(async () => {
    const frame = () => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done)));
    const step = Math.max(200, Math.floor(window.innerHeight / 2));
    for (let y = 0; y < document.documentElement.scrollHeight; y += step) {
      window.scrollTo(0, y);
      await frame();
      await new Promise((done) => setTimeout(done, 60));
    }
    window.scrollTo(0, document.documentElement.scrollHeight);
    await frame();
    window.scrollTo(0, 0);
    await frame();
  }).catch(() => {});
}

// Renders url and returns its full-page screenshot as PNG bytes, with the
// number of requests that failed. offline: every request that is not for a
// file: address is aborted, so a saved copy shows only what it holds.
export async function renderPage(browser, url, { offline }) {
  const context = await browser.newContext({
    viewport, deviceScaleFactor: 1, reducedMotion: 'reduce', colorScheme: 'light',
    locale: 'en-US', timezoneId: 'UTC', serviceWorkers: 'block',
  });
  try {
    const blocked = [];
    if (offline) {
      await context.route((address) => address.protocol !== 'file:', (route) => {
        blocked.push(route.request().url());
        return route.abort();
      });
    }
    const page = await context.newPage();
    let failed = 0;
    page.on('requestfailed', () => { failed += 1; });
    await page.goto(url, { waitUntil: 'load', timeout: 30000 });
    await settle(page);
    await scrollThrough(page);
    await settle(page);
    const png = await page.screenshot({ fullPage: true, animations: 'disabled', caret: 'hide' });
    return { png, failed, blocked };
  } finally {
    await context.close();
  }
}

// The share of pixels that differ between two screenshots: the pictures are
// laid over each other from the top left corner, a pixel matches when every
// channel is within tolerance, and the area only one picture covers counts
// as differing. Also returns a picture of the differences (red) on a faded
// copy of the first.
export function comparePictures(firstPng, secondPng, tolerance = 8) {
  const a = PNG.sync.read(firstPng);
  const b = PNG.sync.read(secondPng);
  const width = Math.max(a.width, b.width);
  const height = Math.max(a.height, b.height);
  const diff = new PNG({ width, height });
  let matching = 0;
  for (let y = 0; y < height; ++y) {
    for (let x = 0; x < width; ++x) {
      const o = (y * width + x) * 4;
      const inA = x < a.width && y < a.height;
      const inB = x < b.width && y < b.height;
      const ia = (y * a.width + x) * 4;
      const ib = (y * b.width + x) * 4;
      let same = inA && inB;
      for (let c = 0; same && c < 3; ++c) same = Math.abs(a.data[ia + c] - b.data[ib + c]) <= tolerance;
      if (same) {
        matching += 1;
        for (let c = 0; c < 3; ++c) diff.data[o + c] = 192 + (a.data[ia + c] >> 2);
      } else {
        diff.data[o] = 230;
        diff.data[o + 1] = 20;
        diff.data[o + 2] = 20;
      }
      diff.data[o + 3] = 255;
    }
  }
  const total = width * height;
  return { miss: total ? 1 - matching / total : 0, diffPng: PNG.sync.write(diff), width, height };
}
