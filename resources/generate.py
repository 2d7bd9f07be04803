#!/usr/bin/env python3
"""Draws the program's icons (SVG and PNG) and synthesises the alert chime.

Run from anywhere: python3 resources/generate.py. Output is deterministic.
"""
import math
import os
import struct
import wave
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# Shapes on a 32 x 32 canvas, painted in order:
# ("rrect", x, y, w, h, radius, colour) or ("circle", cx, cy, r, colour).
ICONS = {
    # A server front: two rack units with a green status light each.
    "program": [
        ("rrect", 2, 2, 28, 28, 6, "#1f5fa8"),
        ("rrect", 6, 7, 20, 7, 2, "#dce9f7"),
        ("rrect", 6, 18, 20, 7, 2, "#dce9f7"),
        ("circle", 22, 10.5, 2, "#2e9e3e"),
        ("circle", 22, 21.5, 2, "#2e9e3e"),
        ("rrect", 9, 9.5, 8, 2, 1, "#7a9cc4"),
        ("rrect", 9, 20.5, 8, 2, 1, "#7a9cc4"),
    ],
    # The two alert states alternate while an alert flashes.
    "alert1": [
        ("circle", 16, 16, 15, "#c62828"),
        ("rrect", 13.5, 6, 5, 14, 2.5, "#ffffff"),
        ("circle", 16, 25, 2.8, "#ffffff"),
    ],
    "alert2": [
        ("circle", 16, 16, 15, "#ffc107"),
        ("rrect", 13.5, 6, 5, 14, 2.5, "#3e2723"),
        ("circle", 16, 25, 2.8, "#3e2723"),
    ],
}
SIZES = (16, 32)
# The program icon also goes to the desktop's hicolor theme at every size it lists.
PROGRAM_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def rgb(colour):
    return tuple(int(colour[i:i + 2], 16) for i in (1, 3, 5))


def inside(shape, x, y):
    if shape[0] == "circle":
        _, cx, cy, r, _ = shape
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    _, left, top, w, h, r, _ = shape
    if not (left <= x <= left + w and top <= y <= top + h):
        return False
    nx = min(max(x, left + r), left + w - r)
    ny = min(max(y, top + r), top + h - r)
    return (x - nx) ** 2 + (y - ny) ** 2 <= r * r


def rasterise(shapes, size, samples=4):
    scale = 32.0 / size
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]  # premultiplied
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) * scale
                    y = (py + (sy + 0.5) / samples) * scale
                    colour = None
                    for shape in shapes:
                        if inside(shape, x, y):
                            colour = shape[-1]
                    if colour:
                        r, g, b = rgb(colour)
                        acc[0] += r
                        acc[1] += g
                        acc[2] += b
                        acc[3] += 1
            n = samples * samples
            alpha = acc[3] / n
            if alpha == 0:
                row += bytes(4)
            else:
                row += bytes(round(acc[i] / acc[3]) for i in range(3))
                row.append(round(alpha * 255))
        rows.append(bytes(row))
    return rows


def write_png(path, rows, size):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\x00" + row for row in rows)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as out:
        out.write(png)


def write_svg(path, shapes):
    parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">']
    for shape in shapes:
        if shape[0] == "circle":
            _, cx, cy, r, colour = shape
            parts.append(f'  <circle cx="{cx}" cy="{cy}" r="{r}" fill="{colour}"/>')
        else:
            _, x, y, w, h, r, colour = shape
            parts.append(f'  <rect x="{x}" y="{y}" width="{w}" height="{h}" rx="{r}" fill="{colour}"/>')
    parts.append("</svg>")
    with open(path, "w") as out:
        out.write("\n".join(parts) + "\n")


def write_chime(path, rate=22050):
    """Two bell-like notes, a fifth apart, fading out over 0.7 s."""
    notes = ((0.0, 880.0), (0.16, 1318.5))
    length = int(rate * 0.7)
    frames = bytearray()
    for n in range(length):
        t = n / rate
        value = 0.0
        for start, freq in notes:
            if t >= start:
                age = t - start
                envelope = math.exp(-age * 6.0) * min(1.0, age / 0.004)
                value += envelope * (math.sin(2 * math.pi * freq * age)
                                     + 0.3 * math.sin(2 * math.pi * 2 * freq * age))
        frames += struct.pack("<h", int(max(-1.0, min(1.0, value * 0.35)) * 32767))
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(rate)
        out.writeframes(bytes(frames))


def main():
    icons = os.path.join(HERE, "icons")
    os.makedirs(icons, exist_ok=True)
    for name, shapes in ICONS.items():
        write_svg(os.path.join(icons, f"{name}.svg"), shapes)
        for size in PROGRAM_SIZES if name == "program" else SIZES:
            write_png(os.path.join(icons, f"{name}-{size}.png"), rasterise(shapes, size), size)
    sound = os.path.join(HERE, "Sound")
    os.makedirs(sound, exist_ok=True)
    write_chime(os.path.join(sound, "NewMessage.wav"))


if __name__ == "__main__":
    main()
