// Velkin Web for Flash: the player page. It plays a movie of the Flash
// folder, named by its tree path in the address (?path=["Sub","a.swf"]),
// with the bundled player. Extension pages may not read file: addresses, so
// the movie's bytes come from the native host in chunks (read-movie).
'use strict';

const status = document.getElementById('status');

function pathFromAddress() {
  try {
    const path = JSON.parse(new URL(location.href).searchParams.get('path') || 'null');
    if (Array.isArray(path) && path.length > 0 && path.every((step) => typeof step === 'string')) return path;
  } catch (error) {
    // Shown below like any other unusable address.
  }
  return null;
}

function decodeBase64(text) {
  const binary = atob(text);
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
  return bytes;
}

// The movie's bytes, chunk after chunk on one connection.
async function readMovie(path) {
  const host = new GlintcatchHost();
  const chunks = [];
  let offset = 0;
  try {
    for (;;) {
      const reply = await host.request({ request: 'read-movie', path, offset });
      if (!reply.ok) throw new Error(reply.error || 'the movie cannot be read');
      const chunk = decodeBase64(reply.data || '');
      chunks.push(chunk);
      offset += chunk.length;
      if (reply.done || chunk.length === 0) break;
    }
  } finally {
    host.close();
  }
  const movie = new Uint8Array(offset);
  let at = 0;
  for (const chunk of chunks) {
    movie.set(chunk, at);
    at += chunk.length;
  }
  return movie;
}

async function play() {
  const path = pathFromAddress();
  if (!path) {
    status.textContent = 'No movie of the Flash folder is named here.';
    return;
  }
  document.title = `${path[path.length - 1]} - Velkin Web for Flash`;
  let movie;
  try {
    movie = await readMovie(path);
  } catch (error) {
    status.textContent = `The movie cannot be played: ${error && error.message}`;
    return;
  }
  if (!window.RufflePlayer || typeof window.RufflePlayer.newest !== 'function') {
    status.textContent = 'The Flash player is missing from this extension.';
    return;
  }
  const player = window.RufflePlayer.newest().createPlayer();
  document.getElementById('stage').appendChild(player);
  status.hidden = true;
  const api = player.ruffle ? player.ruffle() : player;
  try {
    await api.load({ data: movie.buffer });
  } catch (error) {
    status.hidden = false;
    status.textContent = `The movie cannot be played: ${error && error.message}`;
  }
}

void play();
