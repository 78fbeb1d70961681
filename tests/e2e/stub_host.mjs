// A stand-in for the native host in the extension's tests: it reads the
// browser's framed messages (32-bit native-endian length, then JSON), writes
// each as one line to STUB_HOST_LOG and answers as the host does: a ping
// with the version, a capture request as saved. It ends with its input.
import fs from 'node:fs';

const logPath = process.env.STUB_HOST_LOG;
let buffered = Buffer.alloc(0);

function reply(message) {
  const body = Buffer.from(JSON.stringify(message));
  const header = Buffer.alloc(4);
  header.writeUInt32LE(body.length);
  process.stdout.write(Buffer.concat([header, body]));
}

function answer(message) {
  if (logPath) fs.appendFileSync(logPath, `${JSON.stringify(message)}\n`);
  const id = message.id;
  if (message.request === 'ping') {
    reply({ ok: true, version: '2.5', id });
  } else if (['save-page', 'save-selection', 'save-picture'].includes(message.request)) {
    reply({ ok: true, result: '0x00000000', saved: true, pagePath: '/stub/page.htm', message: '', id });
  } else {
    reply({ ok: false, error: `unknown request ${message.request}`, id });
  }
}

process.stdin.on('data', (chunk) => {
  buffered = Buffer.concat([buffered, chunk]);
  while (buffered.length >= 4) {
    const length = buffered.readUInt32LE(0);
    if (buffered.length < 4 + length) break;
    answer(JSON.parse(buffered.subarray(4, 4 + length).toString('utf8')));
    buffered = buffered.subarray(4 + length);
  }
});
process.stdin.on('end', () => process.exit(0));
