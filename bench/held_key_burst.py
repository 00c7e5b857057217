#!/usr/bin/python3
"""A held key, as the X server gets it, and the moment its last picture shows.

Waits until the screen points show the start colour (the first picture is
in), then types the key COUNT times at RATE a second through XTest (what
xdotool's "key" sends, at a steadier rate) while watching the points: until
they all show the target colour, or, without one, until the picture has
stopped changing after the last key (for a viewer that drops keys, whose
last picture cannot be known in advance). With --pid it also samples the
process's open descriptors, threads and main-thread stack: before, their
peak throughout, and at each of the --after times once the burst is over.
Prints key=value lines: the rate achieved, the seconds from the first key
until the last picture showed, and the samples.

  held_key_burst.py --key Down --count 3000 --rate 500 --points "470,126 450,116"
                    (--target ff00ff | --settle 3) --start 00ffff [--moving-keys 1999]
                    [--pid PID] [--after 2,25] [--timeout 1200]
  held_key_burst.py --points ... --start 00ffff --only-wait 1   (whether it shows within a second)
"""

import argparse
import os
import threading
import time

from Xlib import X, XK, display
from Xlib.ext import xtest

TOLERANCE = 24  # per channel: a solid colour comes back a little off through JPEG and scaling


def colour(text):
    value = int(text, 16)
    return (value >> 16) & 255, (value >> 8) & 255, value & 255


class Screen:
    """The root window's pixels at the points, read in one request."""

    def __init__(self, points):
        self.display = display.Display()
        self.root = self.display.screen().root
        self.points = points
        self.left = min(x for x, _ in points)
        self.top = min(y for _, y in points)
        self.width = max(x for x, _ in points) - self.left + 1
        self.height = max(y for _, y in points) - self.top + 1

    def pixels(self):
        image = self.root.get_image(self.left, self.top, self.width, self.height, X.ZPixmap, 0xFFFFFFFF)
        data = image.data
        stride = len(data) // self.height
        found = []
        for x, y in self.points:
            at = (y - self.top) * stride + (x - self.left) * 4
            found.append((data[at + 2], data[at + 1], data[at]))  # B, G, R, pad
        return found

    def all_show(self, wanted):
        return all(all(abs(a - b) <= TOLERANCE for a, b in zip(pixel, wanted)) for pixel in self.pixels())


def process_numbers(pid):
    """Open descriptors, threads and the main thread's stack (kB) of the process."""
    descriptors = len(os.listdir(f"/proc/{pid}/fd"))
    threads = stack = 0
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("Threads:"):
                threads = int(line.split()[1])
            elif line.startswith("VmStk:"):
                stack = int(line.split()[1])
    return descriptors, threads, stack


class Sampler(threading.Thread):
    """The largest of each number while running, sampled every 5 ms."""

    def __init__(self, pid):
        super().__init__(daemon=True)
        self.pid = pid
        self.peak = process_numbers(pid)
        self.running = True

    def run(self):
        while self.running:
            now = process_numbers(self.pid)
            self.peak = tuple(max(a, b) for a, b in zip(self.peak, now))
            time.sleep(0.005)


class Keys(threading.Thread):
    """COUNT presses and releases of the key, the i-th at start + i / RATE."""

    def __init__(self, key, count, rate):
        super().__init__(daemon=True)
        self.display = display.Display()
        self.code = self.display.keysym_to_keycode(XK.string_to_keysym(key))
        if not self.code:
            raise SystemExit(f"no key code for {key}")
        self.count, self.period = count, 1.0 / rate
        self.sent = []  # when each key went out
        self.last = None

    def run(self):
        start = time.monotonic()
        for i in range(self.count):
            due = start + i * self.period
            delay = due - time.monotonic()
            if delay > 0:
                time.sleep(delay)
            xtest.fake_input(self.display, X.KeyPress, self.code)
            xtest.fake_input(self.display, X.KeyRelease, self.code)
            self.display.flush()
            self.sent.append(time.monotonic())
        self.display.sync()
        self.last = time.monotonic()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--key")
    parser.add_argument("--count", type=int)
    parser.add_argument("--rate", type=float)
    parser.add_argument("--points", required=True, help="x,y pairs on the screen, space-separated")
    parser.add_argument("--start", type=colour, required=True)
    parser.add_argument("--target", type=colour, help="the colour the last picture shows")
    parser.add_argument("--settle", type=float, help="without a target: the picture it ends on, once it has "
                        "not changed for this many seconds after the last key")
    parser.add_argument("--moving-keys", type=int, help="how many of the keys can move it (the rest are no-ops)")
    parser.add_argument("--pid", type=int)
    parser.add_argument("--timeout", type=float, default=1200)
    parser.add_argument("--after", default="2,25", help="seconds of quiet before each later sample")
    parser.add_argument("--only-wait", type=float, help="only wait this long for the start colour: exit 0 if it shows")
    arguments = parser.parse_args()
    points = [tuple(int(v) for v in point.split(",")) for point in arguments.points.split()]
    screen = Screen(points)
    if arguments.only_wait is not None:
        deadline = time.monotonic() + arguments.only_wait
        while not screen.all_show(arguments.start):
            if time.monotonic() > deadline:
                raise SystemExit(1)
            time.sleep(0.02)
        raise SystemExit(0)

    deadline = time.monotonic() + 60
    while not screen.all_show(arguments.start):
        if time.monotonic() > deadline:
            print("error=the first picture did not show within 60 s; the points show", screen.pixels())
            raise SystemExit(1)
        time.sleep(0.05)
    time.sleep(1)  # whatever the first picture started is over
    if arguments.pid:
        before = process_numbers(arguments.pid)
        sampler = Sampler(arguments.pid)
        sampler.start()

    keys = Keys(arguments.key, arguments.count, arguments.rate)
    keys.start()
    shown = None
    deadline = time.monotonic() + arguments.timeout
    if arguments.target:
        while shown is None and time.monotonic() < deadline:
            if screen.all_show(arguments.target):
                shown = time.monotonic()
            else:
                time.sleep(0.001)
    else:
        # The last time the picture changed, once the keys are out and it
        # has stayed for the settling time.
        seen, changed = screen.pixels(), time.monotonic()
        while time.monotonic() < deadline:
            now = screen.pixels()
            if now != seen:
                seen, changed = now, time.monotonic()
            elif keys.last is not None and time.monotonic() - max(changed, keys.last) > arguments.settle:
                shown = changed
                break
            time.sleep(0.001)
    keys.join(arguments.timeout)
    if arguments.pid:
        sampler.running = False
        sampler.join()
        peak = sampler.peak
        afters = []
        waited = 0.0
        for at in (float(v) for v in arguments.after.split(",")):
            time.sleep(at - waited)
            waited = at
            afters.append(process_numbers(arguments.pid))

    first = keys.sent[0]
    moving = keys.sent[min(arguments.moving_keys or arguments.count, arguments.count) - 1]
    sent = keys.sent[-1] - first
    print(f"keys={arguments.count}")
    print(f"key_seconds={sent:.3f}")
    print(f"key_rate={(arguments.count - 1) / sent:.0f}" if sent > 0 else "key_rate=0")
    print(f"last_moving_key_seconds={moving - first:.3f}")
    if shown is None:
        print(f"error=the last picture did not show within {arguments.timeout:.0f} s; the points show", screen.pixels())
    else:
        print(f"shown_seconds={shown - first:.3f}")
        print(f"after_last_moving_key_ms={(shown - moving) * 1000:.0f}")
    if arguments.pid:
        print(f"after_seconds={arguments.after.replace(',', ' ')}")
        for name, index in (("descriptors", 0), ("threads", 1), ("stack_kb", 2)):
            print(f"{name}={before[index]} {peak[index]} " + " ".join(str(after[index]) for after in afters))
    raise SystemExit(0 if shown is not None else 1)


if __name__ == "__main__":
    main()
