// The receiving end of decoded MIDI: the rack's event fan-out as the MIDI input sees it.
#pragma once

class tMidiSink {
public:
    virtual ~tMidiSink() = default;
    // channel 0..15 everywhere.
    virtual void NoteOn(int channel, int key, int velocity) = 0;
    virtual void NoteOff(int channel, int key) = 0;
    // number -1 is pitch bend with value 0..16383, 8192 at the centre.
    virtual void Controller(int channel, int number, int value) = 0;
    virtual void SetPan(int channel, int value) = 0;
    // Every note of every channel off.
    virtual void AllNotesOff() = 0;
    // Every note of one channel off: controllers 120 (all sound off) and 123 (all notes off).
    virtual void ChannelNotesOff(int channel) = 0;
};
