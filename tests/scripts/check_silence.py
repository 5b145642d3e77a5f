#!/usr/bin/python3
"""Finds holes of digital silence in loud sound: runs of frames in which every channel is
exactly 0, longer than 1 ms, that begin or end within 50 ms of a sample above 8000 of 32767.
The silence before the first sound of a file and after its last is no hole.

    check_silence.py FILE.wav...
Prints each hole (file, start in seconds, length in ms) and fails when there is one."""
import sys
import wave

import numpy as np

LOUD = 8000
HOLE_MS = 1.0
NEAR_MS = 50.0


def holes(path):
    with wave.open(path, "rb") as w:
        rate, channels = w.getframerate(), w.getnchannels()
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").reshape(-1, channels)
    magnitude = np.abs(data.astype(np.int32)).max(axis=1)
    loud = np.flatnonzero(magnitude > LOUD)
    silent = np.concatenate(([0], (magnitude == 0).astype(np.int8), [0]))
    edges = np.flatnonzero(np.diff(silent))
    near = int(NEAR_MS * rate / 1000)
    found = []
    sounding = np.flatnonzero(magnitude)
    for start, end in zip(edges[::2], edges[1::2]):
        if (end - start) * 1000.0 / rate <= HOLE_MS or loud.size == 0:
            continue
        if sounding.size == 0 or start <= sounding[0] or end > sounding[-1]:
            continue
        before = loud[np.searchsorted(loud, start) - 1] if np.searchsorted(loud, start) > 0 else None
        after_index = np.searchsorted(loud, end)
        after = loud[after_index] if after_index < loud.size else None
        if (before is not None and start - before <= near) or (after is not None and after - end <= near):
            found.append((start / rate, (end - start) * 1000.0 / rate))
    return found


def main():
    total = 0
    for path in sys.argv[1:]:
        found = holes(path)
        total += len(found)
        for at, length in found[:5]:
            print("%s: %.1f ms of silence at %.3f s" % (path, length, at))
        print("%s: %d holes, longest %.1f ms" % (path, len(found), max([0.0] + [f[1] for f in found])))
    if total:
        sys.exit("%d holes of silence in loud sound" % total)


main()
