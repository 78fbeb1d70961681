// The Flash tests' site and movies: tiny valid movies made here, and a page
// on 127.0.0.1 that shows one as an OBJECT with the player's class id, one
// inside an IFRAME as an OBJECT of the Flash type, and one as an EMBED
// (which is never taken for a movie).
import { onCleanup, serve } from './harness.mjs';

// Writes values of any bit width, most significant bit first, as a movie's
// RECT wants them.
function bitBytes(fields) {
  const bits = fields.flatMap(([value, width]) =>
    Array.from({ length: width }, (_, i) => (value >> (width - 1 - i)) & 1));
  const bytes = Buffer.alloc(Math.ceil(bits.length / 8));
  bits.forEach((bit, i) => { bytes[i >> 3] |= bit << (7 - (i & 7)); });
  return bytes;
}

// A tag's header: code and length in one 16-bit little-endian word (short
// form, length under 63).
function tag(code, body = Buffer.alloc(0)) {
  const header = Buffer.alloc(2);
  header.writeUInt16LE((code << 6) | body.length);
  return Buffer.concat([header, body]);
}

// An uncompressed movie ("FWS") of width x height pixels, one frame with
// the background colour [r, g, b]: header, stage RECT in twips, frame rate
// 24, frame count 1, SetBackgroundColor, ShowFrame, End.
export function flashMovie({ width = 320, height = 200, colour = [200, 40, 40], version = 10 } = {}) {
  const twipBits = 16;
  const rect = bitBytes([[twipBits, 5], [0, twipBits], [width * 20, twipBits], [0, twipBits],
    [height * 20, twipBits]]);
  const frames = Buffer.from([0x00, 24, 0x01, 0x00]);  // 8.8 frame rate 24, 1 frame
  const tags = Buffer.concat([tag(9, Buffer.from(colour)), tag(1), tag(0)]);
  const body = Buffer.concat([rect, frames, tags]);
  const header = Buffer.alloc(8);
  header.write('FWS', 0, 'latin1');
  header[3] = version;
  header.writeUInt32LE(8 + body.length, 4);
  return Buffer.concat([header, body]);
}

export const movies = {
  intro: flashMovie({ colour: [200, 40, 40] }),
  clip: flashMovie({ width: 240, height: 160, colour: [40, 120, 200] }),
  embedded: flashMovie({ colour: [40, 160, 60] }),
};

const movieType = 'application/x-shockwave-flash';

// The test site (bodies posted to it are kept in posts); ownMovie (optional) is a movie address shown as a third
// OBJECT (a movie of the user's own Flash folder).
export async function startFlashSite(t, { ownMovie = '' } = {}) {
  const own = ownMovie
    ? `<object id="own" type="${movieType}" data="${ownMovie}" style="display:block;width:200px;height:120px"></object>`
    : '';
  const posts = [];
  const server = await serve(() => ({
    '/flash/page.html': {
      type: 'text/html; charset=utf-8',
      body: `<!DOCTYPE html>
<html><head><title>Flash test page</title>
<style>body { font: 14px sans-serif; margin: 20px; position: relative; top: 10px; } object, iframe { margin: 12px 0; }
#movie { background: #e9e4d8 linear-gradient(135deg, #f6d365, #fda085); }</style></head><body>
<p id="text">A page with movies.</p>
<object id="movie" classid="clsid:D27CDB6E-AE6D-11cf-96B8-444553540000" style="display:block;width:320px;height:200px">
  <param name="movie" value="movies/intro.swf"><param name="quality" value="high">
</object>
<embed id="embed" type="${movieType}" src="movies/embedded.swf" style="display:block;width:160px;height:100px">
${own}
<iframe id="frame" src="/flash/frame.html" width="300" height="220"></iframe>
</body></html>`,
    },
    '/flash/frame.html': {
      type: 'text/html; charset=utf-8',
      body: `<!DOCTYPE html><title>Movie frame</title><body style="margin:0">
<object id="inner" type="${movieType}" data="/clip.swf" style="display:block;width:240px;height:160px"></object>`,
    },
    '/flash/movies/intro.swf': { type: movieType, body: movies.intro },
    '/flash/movies/embedded.swf': { type: movieType, body: movies.embedded },
    '/clip.swf': { type: movieType, body: movies.clip },
  }), (where, text) => posts.push({ path: where, text }));
  onCleanup(t, () => server.close());
  const origin = `http://127.0.0.1:${server.address().port}`;
  return { origin, pageUrl: `${origin}/flash/page.html`, frameUrl: `${origin}/flash/frame.html`, posts };
}
