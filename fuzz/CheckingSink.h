// A MIDI sink that ends the process (a fuzzer finding) on an event the modules cannot take.
#pragma once

#include "core/MidiSink.h"

#include <cstdlib>

inline void Require(bool condition) {
    if (!condition) std::abort();
}

class tCheckingSink : public tMidiSink {
public:
    // wideValues: controller and pan values may carry 14 bits, as sequencer events do (the
    // modules hold pan within 0..127). Otherwise the numbers are the byte decoder's: -1 for
    // pitch bend, the only 14-bit value, and no channel mode messages.
    explicit tCheckingSink(bool wideValues) : mWideValues(wideValues) {}

    void NoteOn(int channel, int key, int velocity) override {
        Channel(channel);
        Require(key >= 0 && key <= 127 && velocity >= 1 && velocity <= 127);
    }
    void NoteOff(int channel, int key) override {
        Channel(channel);
        Require(key >= 0 && key <= 127);
    }
    void Controller(int channel, int number, int value) override {
        Channel(channel);
        if (mWideValues) {
            Require(value >= 0 && value <= 16383);
            return;
        }
        Require(number >= -1 && number <= 127 && number != 120 && number != 123);
        Require(value >= 0 && value <= (number == -1 ? 16383 : 127));
    }
    void SetPan(int channel, int value) override {
        Channel(channel);
        Require(value >= 0 && value <= (mWideValues ? 16383 : 127));
    }
    void AllNotesOff() override {}
    void ChannelNotesOff(int channel) override { Channel(channel); }

private:
    static void Channel(int channel) { Require(channel >= 0 && channel <= 15); }

    bool mWideValues;
};
