#!/usr/bin/env python3
"""Looks at what the real-window tests produce. Standard library only.

  probe.py shows LEFT TOP WIDTH HEIGHT RRGGBB < WINDOW.xwd
      status 0 when at least a few pixels of the rectangle (in the xwd dump of a window, as
      `xwd -id` writes it) have about that colour
  probe.py wav FILE [SECONDS]
      status 0 when FILE is a mono 16-bit 44.1 kHz WAV whose header sizes match its data and,
      with SECONDS, whose length is within 0.25 s of it; prints the length
  probe.py master FILE
      status 0 when FILE is a stereo 16-bit 44.1 kHz WAV whose header sizes match its data
  probe.py silence FILE SECONDS
      writes such a WAV of silence
  probe.py tone FILE SECONDS
      writes such a WAV of a 440 Hz tone at a quarter of full scale
  probe.py silenced FILE
      status 0 when the mono WAV FILE holds a run of at least 1,000 zero samples
  probe.py loud FILE
      status 0 when the 16-bit WAV FILE (any channels) holds a sample louder than 1/64 of full scale
  probe.py swell FILE SECONDS HZ
      writes such a WAV of a tone that swells and fades once a second
"""
import os
import struct
import sys
import wave

RATE = 44100


def shows(left, top, width, height, rgb):
    dump = sys.stdin.buffer.read()
    head = struct.unpack(">25I", dump[:100])
    size, cols, rows, order, bpp, stride, masks, colours = (
        head[0], head[4], head[5], head[7], head[11], head[12], head[14:17], head[19])
    n, base = bpp // 8, size + 12 * colours
    want = [(int(rgb, 16) >> s) & 255 for s in (16, 8, 0)]
    hits = 0
    for y in range(max(top, 0), min(top + height, rows)):
        for x in range(max(left, 0), min(left + width, cols)):
            i = base + y * stride + n * x
            p = int.from_bytes(dump[i:i + n], "big" if order else "little")
            got = [(p & m) >> ((m & -m).bit_length() - 1) for m in masks]
            hits += sum(abs(a - b) for a, b in zip(got, want)) < 60
    return hits >= 10  # caption strokes, not a stray anti-aliased pixel


def wav(path, seconds=None, channels=1):
    size = os.path.getsize(path)
    with open(path, "rb") as f:
        head = f.read(44)
    if len(head) < 44 or head[:4] != b"RIFF" or head[8:16] != b"WAVEfmt " or head[36:40] != b"data":
        return f"{path}: no canonical WAV header"
    riff, data = struct.unpack("<I", head[4:8])[0], struct.unpack("<I", head[40:44])[0]
    if riff != size - 8 or data != size - 44:
        return f"{path}: header sizes {riff}/{data} do not match the file's {size} bytes"
    with wave.open(path) as w:
        form = (w.getnchannels(), w.getsampwidth(), w.getframerate())
        if form != (channels, 2, RATE):
            return f"{path}: {form[0]} channels, {8 * form[1]} bits, {form[2]} Hz"
        length = w.getnframes() / RATE
    print(f"{path}: {length:.3f} s")
    if seconds is not None and abs(length - seconds) > 0.25:
        return f"{path}: holds {length:.3f} s, {seconds - length:+.3f} s off the {seconds:.3f} s held"
    return None


def write_mono(path, frames):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(frames)


def silence(path, seconds):
    write_mono(path, bytes(2 * int(RATE * seconds)))


def tone(path, seconds):
    import math
    n = int(RATE * seconds)
    write_mono(path, b"".join(struct.pack("<h", int(8192 * math.sin(2 * math.pi * 440 * j / RATE)))
                              for j in range(n)))


def swell(path, seconds, hz):
    import math
    frames = bytearray()
    for i in range(int(RATE * seconds)):
        env = 0.15 + 0.85 * abs(math.sin(math.pi * i / RATE))
        frames += struct.pack("<h", int(22000 * env * math.sin(2 * math.pi * hz * i / RATE)))
    write_mono(path, bytes(frames))


def loud(path):
    with wave.open(path) as w:
        if w.getsampwidth() != 2:
            return f"{path}: {8 * w.getsampwidth()} bits"
        data = w.readframes(w.getnframes())
    peak = max((abs(v) for (v,) in struct.iter_unpack("<h", data)), default=0)
    print(f"{path}: peak {peak}")
    return None if peak > 512 else f"{path}: silent (peak {peak})"


def silenced(path):
    with wave.open(path) as w:
        data = w.readframes(w.getnframes())
    run = best = 0
    for (v,) in struct.iter_unpack("<h", data):
        run = run + 1 if v == 0 else 0
        best = max(best, run)
    print(f"{path}: longest run of silence {best} samples")
    return None if best >= 1000 else f"{path}: no silenced run (longest {best})"


def main(args):
    if args[:1] == ["shows"] and len(args) == 6:
        return 0 if shows(*map(int, args[1:5]), args[5]) else 1
    if args[:1] == ["wav"] and len(args) in (2, 3):
        return wav(args[1], float(args[2]) if len(args) == 3 else None)
    if args[:1] == ["master"] and len(args) == 2:
        return wav(args[1], None, 2)
    if args[:1] == ["tone"] and len(args) == 3:
        return tone(args[1], float(args[2]))
    if args[:1] == ["silenced"] and len(args) == 2:
        return silenced(args[1])
    if args[:1] == ["loud"] and len(args) == 2:
        return loud(args[1])
    if args[:1] == ["silence"] and len(args) == 3:
        return silence(args[1], float(args[2]))
    if args[:1] == ["swell"] and len(args) == 4:
        return swell(args[1], float(args[2]), float(args[3]))
    return __doc__


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
