#!/usr/bin/python3
"""Takes a raw PCM stream on standard input no faster than a sound card would (176400 bytes a
second: 44100 stereo 16-bit frames) and writes it to the file named. The pipe is made small,
so that the writer waits as it would for a card."""
import fcntl
import os
import sys
import time

F_SETPIPE_SZ = 1031
rate = int(sys.argv[2]) if len(sys.argv) > 2 else 176400
try:
    fcntl.fcntl(0, F_SETPIPE_SZ, 4096)
except OSError:
    pass
with open(sys.argv[1], "wb", buffering=0) as out:
    start = time.monotonic()
    taken = 0
    while True:
        data = os.read(0, 1024)
        if not data:
            break
        out.write(data)
        taken += len(data)
        ahead = taken / rate - (time.monotonic() - start)
        if ahead > 0:
            time.sleep(ahead)
