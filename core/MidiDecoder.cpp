#include "core/MidiDecoder.h"

namespace {
// Data bytes of a channel message; 0 for system messages, whose data bytes are skipped.
int DataBytes(int status) {
    switch (status) {
    case 0x80:
    case 0x90:
    case 0xA0:
    case 0xB0:
    case 0xE0:
        return 2;
    case 0xC0:
    case 0xD0:
        return 1;
    default:
        return 0;
    }
}

constexpr int kPanController = 10;
constexpr int kAllSoundOff = 120;
constexpr int kAllNotesOff = 123;
constexpr int kPitchBend = -1;
} // namespace

void tMidiDecoder::Reset() {
    mStatus = 0;
    mChannel = 0;
    mNeeded = 0;
    mCount = 0;
}

void tMidiDecoder::Feed(std::uint8_t byte) {
    if (byte >= 0xF8) return; // real-time: invisible to the message around it
    if (byte & 0x80) {
        mStatus = byte & 0xF0;
        mChannel = byte & 0x0F;
        mNeeded = DataBytes(mStatus);
        mCount = 0;
        return;
    }
    if (mNeeded == 0) return; // no channel status in force
    mData[mCount++] = byte;
    if (mCount < mNeeded) return;
    mCount = 0;
    Dispatch();
}

void tMidiDecoder::Dispatch() {
    const int d1 = mData[0] & 0x7F;
    const int d2 = mData[1] & 0x7F;
    switch (mStatus) {
    case 0x90:
        if (d2 != 0)
            mSink.NoteOn(mChannel, d1, d2);
        else
            mSink.NoteOff(mChannel, d1);
        break;
    case 0x80:
        mSink.NoteOff(mChannel, d1);
        break;
    case 0xB0:
        if (d1 == kAllNotesOff || d1 == kAllSoundOff) {
            mSink.ChannelNotesOff(mChannel);
        } else {
            mSink.Controller(mChannel, d1, d2);
            if (d1 == kPanController) mSink.SetPan(mChannel, d2);
        }
        break;
    case 0xE0:
        mSink.Controller(mChannel, kPitchBend, d2 * 128 + d1);
        break;
    default: // pressure and program change: read and dropped
        break;
    }
}
