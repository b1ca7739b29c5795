"""Minimal PNG writer and drawing helpers for the project's own artwork.

Only the standard library is used (zlib + struct), so the icon and the
sample dump's pictures can be regenerated on any machine with python3.

Images are handed over row by row as raw bytes (RGB or RGBA, 8 bits per
channel). Rows are stored unfiltered: the pictures drawn here are made of
flat colours and gentle gradients, which deflate already squeezes to a few
bytes per row, and skipping the filters keeps the writer fast in pure Python.
"""

import os
import struct
import zlib

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
COLOUR_TYPES = {3: 2, 4: 6}  # channels -> PNG colour type (truecolour, +alpha)


def _chunk(kind, payload):
    body = kind + payload
    return struct.pack(">I", len(payload)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def encode_png(width, height, rows, channels=4):
    """Returns the bytes of a PNG built from `height` rows of pixel bytes."""
    if channels not in COLOUR_TYPES:
        raise ValueError("channels must be 3 (RGB) or 4 (RGBA)")
    if not (0 < width < 2**31 and 0 < height < 2**31):
        raise ValueError("image size out of range")
    stride = width * channels
    ihdr = struct.pack(">IIBBBBB", width, height, 8, COLOUR_TYPES[channels], 0, 0, 0)
    packer = zlib.compressobj(9)
    idat = bytearray()
    count = 0
    for row in rows:
        if len(row) != stride:
            raise ValueError(f"row {count} holds {len(row)} bytes, expected {stride}")
        idat += packer.compress(b"\x00")  # filter type None
        idat += packer.compress(bytes(row))
        count += 1
    if count != height:
        raise ValueError(f"got {count} rows, expected {height}")
    idat += packer.flush()
    return PNG_SIGNATURE + _chunk(b"IHDR", ihdr) + _chunk(b"IDAT", bytes(idat)) + _chunk(b"IEND", b"")


def write_png(path, width, height, rows, channels=4):
    """Writes a PNG file through a temporary name, so a crash never leaves half a picture."""
    data = encode_png(width, height, rows, channels)
    tmp = f"{path}.tmp{os.getpid()}"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)
    return len(data)


# --- drawing helpers ------------------------------------------------------

def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def mix(a, b, t):
    """Linear blend of two colour tuples (any length), t in 0..1."""
    t = clamp01(t)
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def over(dst, src, alpha):
    """Paints colour `src` over `dst` with coverage `alpha` (0..1)."""
    return mix(dst, src, alpha)


def coverage(distance, softness=1.0):
    """Anti-aliased coverage of a shape given the signed distance to its edge
    (negative inside), in pixels."""
    return clamp01(0.5 - distance / softness)


def pack(colour):
    """Colour tuple of floats 0..255 -> bytes."""
    return bytes(max(0, min(255, int(c + 0.5))) for c in colour)
