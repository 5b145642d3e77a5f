#!/usr/bin/python3
"""A JACK client that plays an A4 into a running plugin host and records what it answers.

    lv2_jalv_client.py HOST_CLIENT RECORDING.wav SECONDS
Connects its MIDI output to HOST_CLIENT's MIDI input and HOST_CLIENT's two audio outputs to
its inputs, waits 0.3 s, sends a note-on for key 69 at velocity 100, a note-off after
SECONDS - 0.5 s, and writes SECONDS of the left output as 16-bit mono WAV."""
import queue
import sys
import time
import wave

import jack
import numpy as np

host, path, seconds = sys.argv[1], sys.argv[2], float(sys.argv[3])
client = jack.Client("kelvora-test-player", no_start_server=True)
midi = client.midi_outports.register("midi_out")
inputs = [client.inports.register("in_%d" % i) for i in range(2)]
pending = queue.Queue()
recorded = []
recording = [False]


@client.set_process_callback
def process(frames):
    midi.clear_buffer()
    while not pending.empty():
        midi.write_midi_event(0, pending.get_nowait())
    if recording[0]:
        recorded.append(np.array(inputs[0].get_array(), dtype=np.float32))


with client:
    deadline = time.time() + 10
    while True:
        midi_ins = [p.name for p in client.get_ports(host + ":", is_midi=True, is_input=True)]
        outs = [p.name for p in client.get_ports(host + ":", is_audio=True, is_output=True)]
        if midi_ins and len(outs) >= 2:
            break
        if time.time() > deadline:
            sys.exit("the host's ports did not appear")
        time.sleep(0.1)
    client.connect(midi, midi_ins[0])
    client.connect(outs[0], inputs[0])
    client.connect(outs[1], inputs[1])
    time.sleep(0.3)
    recording[0] = True
    pending.put(bytes([0x90, 69, 100]))
    time.sleep(seconds - 0.5)
    pending.put(bytes([0x80, 69, 0]))
    time.sleep(0.5)
    recording[0] = False
    rate = client.samplerate

signal = np.concatenate(recorded) if recorded else np.zeros(1, dtype=np.float32)
samples = np.clip(signal * 32767.0, -32768, 32767).astype("<i2")
with wave.open(path, "wb") as w:
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(rate)
    w.writeframes(samples.tobytes())
print("recorded %.2f s at %d Hz, peak %.3f" % (len(signal) / rate, rate, float(np.max(np.abs(signal)))))
