#!/usr/bin/python3
"""Checks that the level of a captured stereo S16_LE stream fell at a change made while notes
were playing.

    check_level_change.py CAPTURE CHANGE_START CHANGE_END PLAY_END MIN_FALL

CHANGE_START and CHANGE_END are the capture's sizes in bytes when the change began and when
it was done, PLAY_END its size when the notes stopped. The level before is taken from the
first sound to CHANGE_START, the level after from CHANGE_END plus the card's latency to
PLAY_END. Both must be sounding, and the level before must be at least MIN_FALL times the
level after."""
import sys

import numpy as np

RATE = 44100
FRAME_BYTES = 4
LATENCY = RATE // 2  # frames: more than the program's buffer holds
MIN_SECONDS = 1.0


def rms(block):
    return float(np.sqrt(np.mean(block**2)))


def main():
    path = sys.argv[1]
    change_start, change_end, play_end = (int(a) // FRAME_BYTES for a in sys.argv[2:5])
    min_fall = float(sys.argv[5])
    mono = np.fromfile(path, dtype="<i2").reshape(-1, 2).astype(np.float64).mean(axis=1)
    play_end = min(play_end, len(mono))
    loud = np.flatnonzero(np.abs(mono[:change_start]) > 100)
    if loud.size == 0:
        sys.exit("no sound before the change")
    # Whole frames from the first sound on; the first note's onset is left out.
    before = mono[loud[0] + RATE // 4: change_start]
    after = mono[change_end + LATENCY: play_end]
    print("before: %.2f s, after: %.2f s of %.2f s captured"
          % (len(before) / RATE, len(after) / RATE, len(mono) / RATE))
    if len(before) < MIN_SECONDS * RATE or len(after) < MIN_SECONDS * RATE:
        sys.exit("too little sound on one side of the change")
    if not (np.all(np.isfinite(mono))):
        sys.exit("non-finite samples")
    level_before, level_after = rms(before), rms(after)
    if level_before < 100 or level_after < 10:
        sys.exit("not sounding on both sides of the change (RMS %.1f, %.1f)"
                 % (level_before, level_after))
    fall = level_before / level_after
    print("RMS before %.1f, after %.1f: fell by %.2f (%.1f dB)"
          % (level_before, level_after, fall, 20 * np.log10(fall)))
    if fall < min_fall:
        sys.exit("the level did not fall clearly (%.2f < %.2f)" % (fall, min_fall))


main()
