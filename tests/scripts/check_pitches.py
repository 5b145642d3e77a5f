#!/usr/bin/python3
"""Checks that a captured stereo S16_LE stream sounds the given pitches in this order, each on
its own for a while:
    check_pitches.py CAPTURE HZ [HZ ...]
Every steady pitch heard (three overlapping frames of about 93 ms within 1 %) is listed; the
given ones must come in order among them, each within 1.5 %."""
import sys

import numpy as np

RATE = 44100
FRAME = 4096


def pitch(block):
    """The fundamental by harmonic product spectrum."""
    windowed = block * np.hanning(len(block))
    spectrum = np.abs(np.fft.rfft(windowed, 8 * len(block)))
    hps = spectrum.copy()
    for h in (2, 3):
        decimated = spectrum[::h]
        hps[: len(decimated)] *= decimated
        hps[len(decimated):] = 0
    low = int(80 * len(spectrum) * 2 / RATE)
    peak = low + int(np.argmax(hps[low:]))
    return peak * RATE / (2 * (len(spectrum) - 1))


def main():
    expected = [float(f) for f in sys.argv[2:]]
    raw = np.fromfile(sys.argv[1], dtype="<i2")
    if raw.size < RATE:
        sys.exit("capture too short: %d samples" % raw.size)
    mono = raw.reshape(-1, 2).astype(np.float64).mean(axis=1)
    peak = np.max(np.abs(mono))
    if peak < 300:
        sys.exit("no sound in the capture (peak %.0f)" % peak)
    heard = []
    for start in range(0, len(mono) - FRAME, FRAME // 2):
        block = mono[start: start + FRAME]
        if np.sqrt(np.mean(block**2)) > peak * 0.05:
            heard.append((start / RATE, pitch(block)))
    steady = []
    for i in range(len(heard) - 2):
        f = heard[i][1]
        if all(abs(heard[j][1] / f - 1) < 0.01 for j in (i + 1, i + 2)):
            if not steady or abs(steady[-1][1] / f - 1) > 0.03:
                steady.append((heard[i][0], f))
    print("peak %.0f; steady pitches (s, Hz): %s"
          % (peak, ", ".join("%.2f %.1f" % s for s in steady)))
    found = iter(f for _, f in steady)
    for want in expected:
        if not any(abs(f / want - 1) < 0.015 for f in found):
            sys.exit("%.1f Hz not heard in order; expected %s" % (want, expected))


main()
