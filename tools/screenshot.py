#!/usr/bin/env python3
"""Remakes docs/main-window.png: the main window with a small playlist, scaled down.

Usage (under an X server, e.g. xvfb-run -s "-screen 0 1280x800x24"):
  tools/screenshot.py build/velloran docs/main-window.png
"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from run_program import Program, media, scratch, write_session  # noqa: E402


def shot(binary, out, cwd):
    names = ["01 Πρώτο μέρος.mp3", "02 Second part.mp3", "03 Τρίτο.mp3"]
    paths = [media(os.path.join(cwd, n), 30, "mp3") for n in names]
    # The first entry played, the second playing at 0:12.
    write_session(cwd, paths, last=1, pos=12, volume=-800, marks=[-1, 0, 0])
    p = Program(binary, cwd)
    time.sleep(1.0)
    g, t = p.main.get_geometry(), p.main.translate_coords(p.d.screen().root, 0, 0)
    raw = os.path.join(cwd, "raw.png")
    subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-f", "x11grab", "-draw_mouse", "0",
                    "-video_size", f"{g.width}x{g.height}", "-i", f"{os.environ['DISPLAY']}+{-t.x},{-t.y}",
                    "-frames:v", "1", raw], check=True, timeout=60)
    # Small enough to commit: two thirds of the size, 64 colours without dithering.
    subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-i", raw,
                    "-vf", "scale=iw*2/3:-1:flags=area,split[a][b];[a]palettegen=max_colors=64[p];"
                           "[b][p]paletteuse=dither=none", out], check=True, timeout=60)
    p.close()


if __name__ == "__main__":
    scratch(lambda cwd: shot(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]), cwd))
