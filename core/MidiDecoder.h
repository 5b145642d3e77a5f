// Decodes a raw MIDI byte stream (a FIFO, a pipe, the bytes of a MIDI file's events) into the
// rack's events, one byte at a time.
//
// Running status is kept between messages. System real-time bytes (0xF8..0xFF) are skipped
// wherever they arrive, even between the data bytes of a message, and leave the running
// status as it was. A status byte always starts a new message, also where a data byte was
// expected (the unfinished message is dropped). System common and exclusive messages
// (0xF0..0xF7) cancel the running status, so their data bytes are skipped one by one until
// the next channel status byte.
//
// Supported messages: note on (velocity 0 is a note off), note off, controllers (120 and 123
// switch off all notes of the slots on their channel; 10 is passed on and also sets the pan),
// pitch bend
// (controller -1, 0..16383). Polyphonic and channel pressure and program changes are read and
// dropped. Feed never allocates, locks or throws.
#pragma once

#include "core/MidiSink.h"

#include <cstddef>
#include <cstdint>

class tMidiDecoder {
public:
    explicit tMidiDecoder(tMidiSink& sink) : mSink(sink) {}

    void Feed(std::uint8_t byte);
    void Feed(const std::uint8_t* bytes, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) Feed(bytes[i]);
    }
    // Forgets the running status and any unfinished message.
    void Reset();

    // The running status: 0x80..0xE0 for a channel message, 0xF0 after a system message,
    // 0 before the first status byte.
    int RunningStatus() const { return mStatus; }
    int RunningChannel() const { return mChannel; }

private:
    void Dispatch();

    tMidiSink& mSink;
    int mStatus = 0;
    int mChannel = 0;
    int mNeeded = 0; // data bytes a message of the running status carries (0: skip data)
    int mCount = 0;  // data bytes of the current message received so far
    std::uint8_t mData[2] = {0, 0};
};
