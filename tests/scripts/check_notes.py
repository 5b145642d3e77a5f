#!/usr/bin/python3
"""Checks a captured stereo S16_LE stream: A4 (440 Hz), E5 (659.3 Hz) and A3 (220 Hz) sound
in this order, each alone, and the stream falls silent after the last note-off."""
import sys

import numpy as np

RATE = 44100
NOTES = [440.0, 659.26, 220.0]
FRAME = 4096


def pitch(block):
    """The fundamental by harmonic product spectrum (the organ is rich in overtones)."""
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
    raw = np.fromfile(sys.argv[1], dtype="<i2")
    if raw.size < RATE:
        sys.exit("capture too short: %d samples" % raw.size)
    mono = raw.reshape(-1, 2).astype(np.float64).mean(axis=1)
    peak = np.max(np.abs(mono))
    if peak < 300:
        sys.exit("no sound in the capture (peak %.0f)" % peak)
    # Frames of about 93 ms with their level and pitch.
    heard = []
    for start in range(0, len(mono) - FRAME, FRAME // 2):
        block = mono[start: start + FRAME]
        level = np.sqrt(np.mean(block**2))
        if level > peak * 0.05:
            heard.append((start / RATE, pitch(block)))
    if not heard:
        sys.exit("no loud frames")
    # The sequence of steady pitches (three frames in a row within 1 %).
    sequence = []
    for i in range(len(heard) - 2):
        f = heard[i][1]
        if all(abs(heard[j][1] / f - 1) < 0.01 for j in (i + 1, i + 2)):
            if not sequence or abs(sequence[-1][1] / f - 1) > 0.03:
                sequence.append((heard[i][0], f))
    print("pitches heard (s, Hz):", ", ".join("%.2f %.1f" % s for s in sequence))
    found = [f for _, f in sequence]
    if len(found) != len(NOTES) or any(abs(f / n - 1) > 0.01 for f, n in zip(found, NOTES)):
        sys.exit("expected %s" % NOTES)
    # After the last note-off the stream falls silent: the last half second at -60 dB.
    tail = mono[-RATE // 2:]
    tail_peak = np.max(np.abs(tail))
    last_loud = heard[-1][0]
    print("peak %.0f, last loud frame at %.2f s of %.2f s, tail peak %.0f"
          % (peak, last_loud, len(mono) / RATE, tail_peak))
    if tail_peak > peak / 1000:
        sys.exit("still sounding at the end")


main()
