#!/usr/bin/python3
"""Compares the pitch of the first note in two recordings: a captured S16_LE stream and a WAV
file (or two WAV files). Each is measured over 0.6 s starting 0.15 s after its onset, by the
peak of a zero-padded spectrum near the expected fundamental, interpolated on its logarithm.

    check_pitch.py RECORDING RATE|wav REFERENCE.wav EXPECTED_HZ [CENTS]
RECORDING is raw stereo S16_LE at RATE, or a WAV file when the second argument is "wav".
Fails when the two pitches differ by more than CENTS (default 1)."""
import math
import sys
import wave

import numpy as np


def read_wav(path):
    with wave.open(path, "rb") as w:
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2")
        return data.reshape(-1, w.getnchannels()).astype(np.float64).mean(axis=1), w.getframerate()


def read_raw(path, rate):
    data = np.fromfile(path, dtype="<i2")
    return data.reshape(-1, 2).astype(np.float64).mean(axis=1), rate


def pitch(signal, rate, expected):
    peak = np.max(np.abs(signal))
    if peak < 300:
        sys.exit("no sound (peak %.0f)" % peak)
    onset = int(np.argmax(np.abs(signal) > peak * 0.1))
    start = onset + int(0.15 * rate)
    block = signal[start: start + int(0.6 * rate)]
    if len(block) < int(0.6 * rate):
        sys.exit("the note is too short")
    size = 1 << 21
    spectrum = np.abs(np.fft.rfft(block * np.hanning(len(block)), size)) + 1e-12
    low, high = (int(expected * f * size / rate) for f in (0.9, 1.1))
    k = low + int(np.argmax(spectrum[low:high]))
    a, b, c = np.log(spectrum[k - 1: k + 2])
    offset = 0.5 * (a - c) / (a - 2 * b + c)
    return (k + offset) * rate / size, onset / rate


def main():
    recording, kind, reference, expected = sys.argv[1:5]
    limit = float(sys.argv[5]) if len(sys.argv) > 5 else 1.0
    signal, rate = read_wav(recording) if kind == "wav" else read_raw(recording, int(kind))
    heard, at = pitch(signal, rate, float(expected))
    ref_signal, ref_rate = read_wav(reference)
    wanted, _ = pitch(ref_signal, ref_rate, float(expected))
    cents = 1200 * math.log2(heard / wanted)
    print("pitch %.3f Hz at %d Hz (onset %.2f s) against %.3f Hz at %d Hz: %+.2f cents"
          % (heard, rate, at, wanted, ref_rate, cents))
    if abs(cents) > limit:
        sys.exit("more than %.1f cents apart" % limit)


main()
