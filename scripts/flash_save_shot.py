#!/usr/bin/env python3
"""Takes a picture of the Flash save dialog with its preview playing a movie.

Serves a page's movie from 127.0.0.1 and asks glintcatch-host, as the Flash
extension would, to save the page's movies; the host's test driver takes the
picture once the preview has had time to play, then cancels. Run by
scripts/screenshot.sh under xvfb-run, with the settings store prepared and
libglintcatch.so registered:

    scripts/flash_save_shot.py GLINTCATCH_HOST OUTPUT.png
"""
import http.server
import json
import os
import struct
import subprocess
import sys
import tempfile
import threading

CALLER = "chrome-extension://afphagoinfljpokfgecbobkclominpol/"
TWIPS = 20


class Bits:
    """The bit fields of a movie's records, most significant bit first."""

    def __init__(self):
        self.bits = []

    def unsigned(self, value, count):
        self.bits += [(value >> (count - 1 - i)) & 1 for i in range(count)]

    def signed(self, value, count):
        self.unsigned(value & ((1 << count) - 1), count)

    def data(self):
        padded = self.bits + [0] * (-len(self.bits) % 8)
        return bytes(int("".join(map(str, padded[i:i + 8])), 2) for i in range(0, len(padded), 8))


def rect(bits, width, height):
    size = max(width, height).bit_length() + 1
    bits.unsigned(size, 5)
    for value in (0, width, 0, height):
        bits.signed(value, size)


def tag(code, body=b""):
    return struct.pack("<H", (code << 6) | len(body)) + body if len(body) < 63 else \
        struct.pack("<HI", (code << 6) | 63, len(body)) + body


def rectangle_shape(shape_id, x, y, width, height, colour):
    """DefineShape: one solid rectangle drawn from (x, y), in twips."""
    bounds = Bits()
    rect(bounds, x + width, y + height)
    body = struct.pack("<H", shape_id) + bounds.data() + bytes([1, 0x00, *colour, 0])
    shape = Bits()
    shape.unsigned(1, 4)  # fill style bits
    shape.unsigned(0, 4)  # line style bits
    shape.unsigned(0, 1)  # a style change: move to the corner, fill style 1
    shape.unsigned(0b00101, 5)
    move = max(x, y).bit_length() + 1
    shape.unsigned(move, 5)
    shape.signed(x, move)
    shape.signed(y, move)
    shape.unsigned(1, 1)
    for dx, dy in ((width, 0), (0, height), (-width, 0), (0, -height)):
        size = max(abs(dx), abs(dy)).bit_length() + 1
        shape.unsigned(0b11, 2)  # a straight edge
        shape.unsigned(size - 2, 4)
        shape.unsigned(0, 1)  # vertical or horizontal
        shape.unsigned(1 if dx == 0 else 0, 1)
        shape.signed(dy if dx == 0 else dx, size)
    shape.unsigned(0, 6)  # end of the shape
    return tag(2, body + shape.data())


def movie():
    """A movie of one frame: a dark stage with three coloured bars."""
    width, height = 400 * TWIPS, 300 * TWIPS
    header = Bits()
    rect(header, width, height)
    tags = tag(9, bytes([0x1d, 0x2b, 0x3a]))
    bars = [((0xf2, 0x8c, 0x28), 40), ((0x3c, 0xb3, 0x71), 150), ((0x4a, 0x90, 0xe2), 260)]
    for depth, (colour, left) in enumerate(bars, start=1):
        tags += rectangle_shape(depth, left * TWIPS, (60 + 30 * depth) * TWIPS, 100 * TWIPS,
                                (180 - 30 * depth) * TWIPS, colour)
        tags += tag(26, bytes([0x06]) + struct.pack("<HH", depth, depth) + b"\x00")
    body = header.data() + struct.pack("<HH", 24 << 8, 1) + tags + tag(1) + tag(0)
    return b"FWS" + bytes([8]) + struct.pack("<I", 8 + len(body)) + body


def serve(folder):
    handler = lambda *a, **k: http.server.SimpleHTTPRequestHandler(*a, directory=folder, **k)
    http.server.SimpleHTTPRequestHandler.log_message = lambda *a: None
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def main():
    host, output = sys.argv[1], os.path.abspath(sys.argv[2])
    with tempfile.TemporaryDirectory() as folder:
        os.makedirs(os.path.join(folder, "games"))
        with open(os.path.join(folder, "games", "bars.swf"), "wb") as swf:
            swf.write(movie())
        server = serve(folder)
        base = f"http://127.0.0.1:{server.server_address[1]}"
        element = lambda data: {"tagName": "OBJECT",
                                "attributes": {"type": "application/x-shockwave-flash", "data": data}}
        request = {"request": "save-page", "snapshot": {
            "url": base + "/games/index.htm", "title": "Games",
            "all": [element("bars.swf"), element("/play.php?movie=intro")]}}
        answer = {"cancel": True, "screenshot": output, "screenshotDelayMs": 8000}
        environment = dict(os.environ, VELKIN_TEST_FLASH_ANSWER=json.dumps(answer), no_proxy="127.0.0.1")
        if os.path.exists(output):
            os.remove(output)
        body = json.dumps(request).encode()
        run = subprocess.run([host, CALLER], input=struct.pack("=I", len(body)) + body, env=environment,
                             capture_output=True, timeout=120)
        server.shutdown()
    if not os.path.exists(output):
        sys.stderr.write(run.stderr.decode(errors="replace")[-2000:])
        sys.exit("flash_save_shot: the save dialog was not shown")
    print(output)


if __name__ == "__main__":
    main()
