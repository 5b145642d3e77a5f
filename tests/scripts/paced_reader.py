#!/usr/bin/python3
"""Stands in for a sound card behind ALSA's file device: creates the FIFO the device writes
into, takes the PCM stream from it no faster than a card would (176400 bytes a second: 44100
stereo 16-bit frames) and writes it to a file. The FIFO's buffer is made small before any
writer comes, so that the writer waits as it would for a card from its first block on.

    paced_reader.py FIFO OUTPUT [BYTES_PER_SECOND]
Ends when the writer closes the FIFO."""
import fcntl
import os
import select
import sys
import time

F_SETPIPE_SZ = 1031
fifo, output = sys.argv[1], sys.argv[2]
rate = int(sys.argv[3]) if len(sys.argv) > 3 else 176400
if not os.path.exists(fifo):
    os.mkfifo(fifo)
# Without waiting for a writer; poll then waits until one has written (or come and gone).
fd = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
fcntl.fcntl(fd, F_SETPIPE_SZ, 4096)
poller = select.poll()
poller.register(fd, select.POLLIN)
with open(output, "wb", buffering=0) as out:
    start = None
    taken = 0
    while True:
        poller.poll()
        try:
            data = os.read(fd, 1024)
        except BlockingIOError:
            continue
        if not data:
            break
        if start is None:
            start = time.monotonic()
        out.write(data)
        taken += len(data)
        ahead = taken / rate - (time.monotonic() - start)
        if ahead > 0:
            time.sleep(ahead)
