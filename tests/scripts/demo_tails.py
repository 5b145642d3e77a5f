#!/usr/bin/python3
"""Peak of the final half second of every preset's segment in a demo render.

The demo plays the phrase on each preset's channel in turn, one segment of 3.2 s
per preset, in the order the presets are listed; the file starts with one block of
silence and every event takes effect at the start of the block in which it falls. Usage: demo_tails.py demo.wav [--period 128] [--limit 2000]
Exits with status 1 when a segment's tail peaks at or above the limit.
"""
import argparse
import sys
import wave

import numpy as np

PRESETS = ["CleanGtr", "DistGtr", "SynCello", "Organ", "Organ2", "SynPiano", "Epiano",
           "SynSpinet", "PickBass", "SynBass", "TekBass", "HighReso", "AnalogTom",
           "Clarinet", "BrightFlute"]
SEGMENT_SECONDS = 3.2
TAIL_SECONDS = 0.5


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("wav")
    parser.add_argument("--period", type=int, default=128)
    parser.add_argument("--limit", type=int, default=2000)
    args = parser.parse_args()
    with wave.open(args.wav, "rb") as f:
        rate = f.getframerate()
        channels = f.getnchannels()
        data = np.frombuffer(f.readframes(f.getnframes()), dtype="<i2")
    frames = data.reshape(-1, channels).astype(np.int32)
    worst = 0
    for i, name in enumerate(PRESETS):
        # The next segment's first note takes effect at the start of the block in which it
        # falls and is heard one block later: the segment ends there.
        end = (int((i + 1) * SEGMENT_SECONDS * rate) // args.period + 1) * args.period
        start = end - int(round(TAIL_SECONDS * rate))
        tail = frames[start:min(end, len(frames))]
        peak = int(np.abs(tail).max()) if tail.size else 0
        worst = max(worst, peak)
        print(f"{name:12s} {peak:6d}")
    print(f"{'worst':12s} {worst:6d} (limit {args.limit})")
    return 1 if worst >= args.limit else 0


if __name__ == "__main__":
    sys.exit(main())
