// The MIDI byte decoder on arbitrary bytes: every event it gives carries values the modules
// can take, and its running status is always one it can be in.
#include "core/MidiDecoder.h"
#include "fuzz/CheckingSink.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tCheckingSink sink(false);
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
