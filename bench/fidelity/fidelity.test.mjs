// Checks of the benchmark's own parts: the pixel comparison and the test
// site's server. Run with `node --test bench/fidelity/` once node_modules is
// installed (run.sh installs it).
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { test } from 'node:test';
import { PNG } from 'pngjs';
import { comparePictures } from './render.mjs';
import { fileFor, startSites } from './site.mjs';

function picture(width, height, paint = () => [10, 20, 30]) {
  const png = new PNG({ width, height });
  for (let y = 0; y < height; ++y) {
    for (let x = 0; x < width; ++x) {
      const i = (y * width + x) * 4;
      [png.data[i], png.data[i + 1], png.data[i + 2]] = paint(x, y);
      png.data[i + 3] = 255;
    }
  }
  return PNG.sync.write(png);
}

test('differing pixels are counted over the larger size, within the tolerance', () => {
  const cases = [
    { name: 'same picture', a: picture(4, 4), b: picture(4, 4), miss: 0 },
    { name: 'one channel off by the tolerance', a: picture(4, 4),
      b: picture(4, 4, (x, y) => (x === 0 && y === 0 ? [18, 20, 30] : [10, 20, 30])), miss: 0 },
    { name: 'one channel off by more', a: picture(4, 4),
      b: picture(4, 4, (x, y) => (x === 0 && y === 0 ? [10, 29, 30] : [10, 20, 30])), miss: 1 / 16 },
    { name: 'copy shorter than the live page', a: picture(4, 4), b: picture(4, 2), miss: 8 / 16 },
    { name: 'copy longer than the live page', a: picture(4, 2), b: picture(4, 4), miss: 8 / 16 },
    { name: 'sizes differ both ways', a: picture(4, 2), b: picture(2, 4), miss: 12 / 16 },
  ];
  for (const c of cases) {
    const result = comparePictures(c.a, c.b);
    assert.equal(result.miss, c.miss, c.name);
    const diff = PNG.sync.read(result.diffPng);
    assert.deepEqual([diff.width, diff.height], [result.width, result.height], c.name);
  }
});

test('request targets map to files inside the site only', () => {
  const root = '/srv/site';
  const cases = [
    ['/plain.html', '/srv/site/plain.html'],
    ['/gen/a%20b.png?x=1', '/srv/site/gen/a b.png'],
    ['/../etc/passwd', '/srv/site/etc/passwd'],
    ['/%2e%2e/etc/passwd', '/srv/site/etc/passwd'],
    ['/gen/..%2f..%2f..%2fetc/passwd', '/srv/site/etc/passwd'],
    ['/bad%E0%A4%A', undefined],
  ];
  for (const [target, expected] of cases) assert.equal(fileFor(root, target), expected, target);
});

test('the sites serve the pages with the second site put in, and nothing else', async () => {
  const root = fs.mkdtempSync(path.join(os.tmpdir(), 'fidelity-site-'));
  fs.writeFileSync(path.join(root, 'page.html'), '<img src="{{OTHER}}/x.png">');
  fs.writeFileSync(path.join(root, 'x.png'), 'not {{OTHER}} text');
  const sites = await startSites(root);
  try {
    assert.match(sites.other, /^http:\/\/127\.0\.0\.2:\d+$/);
    for (const origin of [sites.origin, sites.other]) {
      const page = await fetch(`${origin}/page.html`);
      assert.equal(page.status, 200);
      assert.equal(page.headers.get('access-control-allow-origin'), '*');
      assert.equal(await page.text(), `<img src="${sites.other}/x.png">`);
      const binary = await fetch(`${origin}/x.png`);
      assert.equal(await binary.text(), 'not {{OTHER}} text');
      assert.equal((await fetch(`${origin}/missing.html`)).status, 404);
      assert.equal((await fetch(`${origin}/%2e%2e/etc/passwd`)).status, 404);
    }
  } finally {
    await sites.close();
    fs.rmSync(root, { recursive: true, force: true });
  }
});
