#!/usr/bin/env python3
"""Writes the toon files shipped in this folder, and the voice clip one of
them speaks when espeak-ng and sox are at hand (the clip is committed, so
neither is needed to build or run anything).

    toons/make-toons.py            # rewrite the .ptf files
    toons/make-toons.py --voice    # also remake pimbo-hello.wav
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SIGNATURE = b"Pimbo Toon Frame File\0"
VERSION = 0x20001
WIDTH, HEIGHT = 1024, 768          # the stage these toons were laid out on


def header(caption, frames, speed=3, background=1):
    caption = caption.encode("ascii")
    assert len(caption) <= 51
    return (SIGNATURE + bytes(10) + struct.pack("<I", VERSION) +
            caption.ljust(52, b"\0") +
            struct.pack("<Iiii", WIDTH | (HEIGHT << 16), frames, speed, background))


def frame(x, y, pose, pause, wink, text=""):
    text = text.encode("ascii")
    assert len(text) <= 71 and 0 <= pose <= 15 and 1 <= pause <= 20
    return struct.pack("<iiiii", x, y, pose, pause, wink) + text.ljust(72, b"\0")


def write_toon(name, caption, frames, speed=3, background=1):
    data = header(caption, len(frames), speed, background) + b"".join(frame(*f) for f in frames)
    assert len(data) == 104 + 92 * len(frames)
    with open(os.path.join(HERE, name), "wb") as out:
        out.write(data)


def make_voice():
    if not (shutil.which("espeak-ng") and shutil.which("sox")):
        sys.exit("--voice needs espeak-ng and sox")
    with tempfile.TemporaryDirectory() as work:
        raw = os.path.join(work, "raw.wav")
        subprocess.run(["espeak-ng", "-v", "en-us", "-s", "150", "-p", "70", "-w", raw,
                        "Hi there! I'm Pimbo, and this is my very own voice."], check=True)
        # Higher, small and mono: 8-bit 11 kHz plays everywhere.
        subprocess.run(["sox", raw, "-r", "11025", "-b", "8", "-c", "1",
                        os.path.join(HERE, "pimbo-hello.wav"), "pitch", "300", "norm", "-1"],
                       check=True)


def main():
    if "--voice" in sys.argv[1:]:
        make_voice()

    write_toon("greeting.ptf", "Pimbo Says Hello", [
        (512, 420, 0, 4, 1, "Hello there! I'm Pimbo."),
        (300, 380, 5, 4, 0, "I walk, I pose, I talk..."),
        (724, 380, 9, 4, 1, "...and I wink at nice people."),
        (512, 460, 3, 5, 0, "Thanks for having me on your screen!"),
    ], speed=3, background=2)

    dance = [(512, 400, 0, 2, 0, "Let's dance!")]
    steps = [(412, 380), (612, 380), (512, 340), (512, 460), (362, 420), (662, 420),
             (512, 400), (452, 360), (572, 360), (512, 400)]
    for i, (x, y) in enumerate(steps):
        dance.append((x, y, (i * 5 + 1) % 16, 1, i % 3 == 2, ""))
    dance.append((512, 400, 15, 3, 1, "Ta-da!"))
    write_toon("dance.ptf", "Pimbo's Little Dance", dance, speed=5, background=4)

    write_toon("voice.ptf", "Pimbo Finds His Voice", [
        (420, 400, 2, 3, 0, "Psst... I have a voice now."),
        (560, 400, 7, 5, 1, "PBF:pimbo-hello.wav"),
        (700, 420, 11, 3, 0, "Did you hear that? That was me!"),
    ], speed=2, background=6)


if __name__ == "__main__":
    main()
