// The MIDI byte decoder on arbitrary bytes: every event it gives carries values the modules
// can take, and its running status is always one it can be in.
#include "core/MidiDecoder.h"

#include <cstdlib>

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

class tCheckingSink : public tMidiSink {
public:
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
        Require(number >= -1 && number <= 127 && number != 120 && number != 123);
        Require(value >= 0 && value <= (number == -1 ? 16383 : 127));
    }
    void SetPan(int channel, int value) override {
        Channel(channel);
        Require(value >= 0 && value <= 127);
    }
    void AllNotesOff() override {}

private:
    static void Channel(int channel) { Require(channel >= 0 && channel <= 15); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tCheckingSink sink;
    tMidiDecoder decoder(sink);
    for (std::size_t i = 0; i < size; ++i) {
        decoder.Feed(data[i]);
        const int status = decoder.RunningStatus();
        Require(status == 0 || status == 0xF0 ||
                (status >= 0x80 && status <= 0xE0 && (status & 0x0F) == 0));
        Require(decoder.RunningChannel() >= 0 && decoder.RunningChannel() <= 15);
    }
    decoder.Reset();
    Require(decoder.RunningStatus() == 0);
    return 0;
}
