#!/usr/bin/python3
"""Writes raw MIDI bytes into a FIFO at their times, as a keyboard would send them:
A4, then E5 and A3, with running status and a note-on of velocity 0 as a note-off.
A second argument plays the phrase that many times (every 3.6 s)."""
import os
import sys
import time

EVENTS = [
    (0.0, [0x90, 69, 100]),  # A4 on
    (0.8, [69, 0]),          # running status: velocity 0 is a note-off
    (1.2, [76, 100]),        # E5 on (running status)
    (2.0, [0x80, 76, 64]),   # E5 off
    (2.4, [0x90, 57, 100]),  # A3 on
    (3.2, [0x90, 57, 0]),    # A3 off as a note-on with velocity 0
]

PHRASE_SECONDS = 3.6
repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 1
fd = os.open(sys.argv[1], os.O_WRONLY)
start = time.monotonic()
for repeat in range(repeats):
    for at, data in EVENTS:
        delay = start + repeat * PHRASE_SECONDS + at - time.monotonic()
        if delay > 0:
            time.sleep(delay)
        os.write(fd, bytes(data))
os.close(fd)
