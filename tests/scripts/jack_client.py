#!/usr/bin/python3
"""A JACK test client: waits for a client's ports, records its "out_1" and "out_2" into a
16-bit stereo WAV file and, when a note is given, plays it into its "midi_in" over JACK MIDI
(note-on at frame 100 of a period, note-off HOLD seconds later).

    jack_client.py SERVER CLIENT OUT.wav SECONDS [NOTE HOLD]"""
import sys
import time
import wave

import jack
import numpy as np

server, name, out_path, seconds = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4])
note = int(sys.argv[5]) if len(sys.argv) > 5 else None
hold = float(sys.argv[6]) if len(sys.argv) > 6 else 1.0

client = jack.Client("kelvora-test", servername=server, no_start_server=True)
midi_out = client.midi_outports.register("midi_out")
inputs = [client.inports.register("in_1"), client.inports.register("in_2")]
rate = client.samplerate
recording = np.zeros((int(seconds * rate), 2), dtype=np.float32)
state = {"at": 0, "events": [], "xruns": 0}


@client.set_xrun_callback
def xrun(delay):
    state["xruns"] += 1


@client.set_process_callback
def process(frames):
    midi_out.clear_buffer()
    while state["events"]:
        frame, data = state["events"].pop(0)
        midi_out.write_midi_event(frame, data)
    at = state["at"]
    n = min(frames, len(recording) - at)
    for channel, port in enumerate(inputs):
        recording[at:at + n, channel] = port.get_array()[:n]
    state["at"] = at + n


with client:
    deadline = time.time() + 20
    while not client.get_ports(name + ":out_1"):
        if time.time() > deadline:
            sys.exit("no port %s:out_1" % name)
        time.sleep(0.05)
    client.connect(name + ":out_1", inputs[0])
    client.connect(name + ":out_2", inputs[1])
    client.connect(midi_out, name + ":midi_in")
    time.sleep(0.2)
    if note is not None:
        state["events"].append((100, (0x90, note, 100)))
        time.sleep(hold)
        state["events"].append((0, (0x80, note, 0)))
    while state["at"] < len(recording):
        time.sleep(0.05)

if state["xruns"]:
    print("%d xruns while recording" % state["xruns"], file=sys.stderr)
samples = np.clip(recording * 32767.0, -32768, 32767).astype("<i2")
with wave.open(out_path, "wb") as w:
    w.setnchannels(2)
    w.setsampwidth(2)
    w.setframerate(rate)
    w.writeframes(samples.tobytes())
