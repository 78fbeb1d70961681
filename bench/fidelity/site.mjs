// The served test site: bench/pages copied into a scratch folder, completed
// with the binary files the pages name (pictures drawn here, short sounds,
// fonts copied from the system's DejaVu set), and two loopback servers for
// it: the page site and a second site on another address, which the pages
// reach through the {{OTHER}} placeholder so that some resources are
// cross-origin.
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { PNG } from 'pngjs';

// Colours by name, so that every picture is told apart at a glance.
const colours = {
  blue: [36, 113, 163], orange: [230, 126, 34], red: [192, 57, 43], green: [30, 132, 73],
  grey: [127, 140, 141], purple: [125, 60, 152], yellow: [241, 196, 15], teal: [17, 122, 101],
  pink: [236, 112, 170], navy: [27, 38, 89], olive: [128, 128, 0], maroon: [120, 30, 40],
  cyan: [23, 190, 207], lime: [120, 200, 40], black: [20, 20, 20], white: [250, 250, 250],
  light: [215, 219, 221], gold: [212, 160, 23], dark: [44, 62, 80],
};

// Pixel painters: each maps (x, y, w, h) to a weight in [0, 1] between the
// picture's two colours.
const painters = {
  stripes: (x, y) => (Math.floor((x + y) / 24) % 2),
  checker: (x, y) => ((Math.floor(x / 20) + Math.floor(y / 20)) % 2),
  dots: (x, y) => (((x % 40) - 20) ** 2 + ((y % 40) - 20) ** 2 < 144 ? 1 : 0),
  rings: (x, y, w, h) => (Math.floor(Math.hypot(x - w / 2, y - h / 2) / 12) % 2),
  hgradient: (x, y, w) => x / Math.max(1, w - 1),
  vgradient: (x, y, w, h) => y / Math.max(1, h - 1),
  bands: (x, y) => (Math.floor(y / 30) % 2),
  flat: () => 0,
};

// name: [width, height, painter, first colour, second colour]
const pictures = {
  'stripes.png': [1200, 240, 'stripes', 'blue', 'orange'],
  'gradient.png': [1200, 200, 'hgradient', 'maroon', 'yellow'],
  'gradient-green.png': [300, 100, 'vgradient', 'green', 'white'],
  'dots.png': [600, 120, 'dots', 'light', 'red'],
  'checker.png': [40, 40, 'checker', 'white', 'blue'],
  'checker-red.png': [40, 40, 'checker', 'white', 'red'],
  'rings.png': [200, 200, 'rings', 'gold', 'dark'],
  'fallback-grey.png': [960, 200, 'flat', 'grey', 'grey'],
  'w480-red.png': [480, 100, 'bands', 'red', 'white'],
  'w960-blue.png': [960, 200, 'bands', 'blue', 'white'],
  'w1600-green.png': [1600, 333, 'bands', 'green', 'white'],
  'x1-purple.png': [600, 150, 'stripes', 'purple', 'white'],
  'x2-yellow.png': [1200, 300, 'stripes', 'yellow', 'black'],
  'wide-teal.png': [1200, 200, 'checker', 'teal', 'white'],
  'narrow-pink.png': [600, 100, 'checker', 'pink', 'white'],
  'placeholder.png': [12, 4, 'flat', 'light', 'light'],
  'lazy-orange.png': [1200, 220, 'stripes', 'orange', 'white'],
  'lazy-navy.png': [1200, 220, 'stripes', 'navy', 'white'],
  'lazy-olive.png': [1200, 220, 'dots', 'olive', 'white'],
  'lazy-maroon.png': [1200, 220, 'bands', 'maroon', 'white'],
  'lazy-cyan.png': [1200, 220, 'checker', 'cyan', 'white'],
  'lazy-lime.png': [1200, 220, 'rings', 'lime', 'black'],
  'poster.png': [960, 360, 'rings', 'navy', 'gold'],
  'poster-2.png': [640, 240, 'stripes', 'teal', 'yellow'],
  'icon.png': [32, 32, 'checker', 'red', 'yellow'],
  'button.png': [400, 100, 'hgradient', 'blue', 'cyan'],
  'object-picture.png': [1200, 200, 'dots', 'purple', 'yellow'],
};

function drawPicture([width, height, painter, first, second]) {
  const png = new PNG({ width, height });
  const a = colours[first];
  const b = colours[second];
  const paint = painters[painter];
  for (let y = 0; y < height; ++y) {
    for (let x = 0; x < width; ++x) {
      const t = paint(x, y, width, height);
      const i = (y * width + x) * 4;
      for (let c = 0; c < 3; ++c) png.data[i + c] = Math.round(a[c] * (1 - t) + b[c] * t);
      png.data[i + 3] = 255;
    }
  }
  return PNG.sync.write(png);
}

// A mono 16-bit PCM WAV file: a quiet 440 Hz tone of the given length.
function toneWav(seconds) {
  const rate = 8000;
  const samples = Math.round(rate * seconds);
  const wav = Buffer.alloc(44 + samples * 2);
  wav.write('RIFF', 0);
  wav.writeUInt32LE(36 + samples * 2, 4);
  wav.write('WAVEfmt ', 8);
  wav.writeUInt32LE(16, 16);
  wav.writeUInt16LE(1, 20);
  wav.writeUInt16LE(1, 22);
  wav.writeUInt32LE(rate, 24);
  wav.writeUInt32LE(rate * 2, 28);
  wav.writeUInt16LE(2, 32);
  wav.writeUInt16LE(16, 34);
  wav.write('data', 36);
  wav.writeUInt32LE(samples * 2, 40);
  for (let i = 0; i < samples; ++i) {
    wav.writeInt16LE(Math.round(2000 * Math.sin((2 * Math.PI * 440 * i) / rate)), 44 + i * 2);
  }
  return wav;
}

const fontDir = '/usr/share/fonts/truetype/dejavu';
const fonts = {
  'bench-serif.ttf': 'DejaVuSerif-Bold.ttf',
  'bench-mono.ttf': 'DejaVuSansMono-Bold.ttf',
  'bench-sans-bold.ttf': 'DejaVuSans-Bold.ttf',
};

// Copies the pages into root and writes the generated files beside them.
export function buildSite(pagesDir, root) {
  fs.cpSync(pagesDir, root, { recursive: true });
  const write = (folder, name, data) => {
    fs.mkdirSync(path.join(root, folder), { recursive: true });
    fs.writeFileSync(path.join(root, folder, name), data);
  };
  for (const [name, recipe] of Object.entries(pictures)) write('gen', name, drawPicture(recipe));
  write('media', 'tone.wav', toneWav(1));
  write('media', 'tone-long.wav', toneWav(3));
  for (const [name, source] of Object.entries(fonts)) {
    const file = path.join(fontDir, source);
    if (!fs.existsSync(file)) {
      throw new Error(`${file} is missing (Debian package fonts-dejavu-core)`);
    }
    write('fonts', name, fs.readFileSync(file));
  }
}

const contentTypes = {
  '.html': 'text/html; charset=utf-8', '.css': 'text/css; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8', '.svg': 'image/svg+xml', '.png': 'image/png',
  '.ttf': 'font/ttf', '.wav': 'audio/wav', '.vtt': 'text/vtt; charset=utf-8',
};
const templated = new Set(['.html', '.css', '.js']);

// The file under root that a request target names, or undefined when it
// names none (a malformed escape, or a path that climbs out of root).
export function fileFor(root, target) {
  let pathname;
  try {
    pathname = decodeURIComponent(new URL(target, 'http://site').pathname);
  } catch {
    return undefined;
  }
  const file = path.join(root, path.normalize(pathname));
  return file.startsWith(root + path.sep) ? file : undefined;
}

function listen(server, host) {
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(0, host, () => resolve(`http://${host}:${server.address().port}`));
  });
}

// Serves root on 127.0.0.1 and 127.0.0.2 (both loopback). Text files have
// {{OTHER}} replaced by the second site's origin. Every response allows any
// origin, as a font or picture server shared between sites does.
export async function startSites(root) {
  let other = '';
  const handler = (request, response) => {
    const file = fileFor(root, request.url);
    if (!file || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      response.writeHead(404, { 'Content-Type': 'text/plain' });
      response.end('not found');
      return;
    }
    const ext = path.extname(file);
    let body = fs.readFileSync(file);
    if (templated.has(ext)) body = Buffer.from(body.toString('utf8').replaceAll('{{OTHER}}', other));
    response.writeHead(200, {
      'Content-Type': contentTypes[ext] || 'application/octet-stream',
      'Content-Length': body.length,
      'Access-Control-Allow-Origin': '*',
      'Cache-Control': 'no-cache',
    });
    response.end(request.method === 'HEAD' ? undefined : body);
  };
  const servers = [http.createServer(handler), http.createServer(handler)];
  const origin = await listen(servers[0], '127.0.0.1');
  other = await listen(servers[1], '127.0.0.2');
  return {
    origin,
    other,
    close: () => Promise.all(servers.map((s) => new Promise((done) => {
      s.closeAllConnections();
      s.close(done);
    }))),
  };
}
