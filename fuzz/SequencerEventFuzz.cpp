// The sequencer event translation on arbitrary event records: every event it passes on
// carries a channel, key, velocity and value that the modules can take.
#include "fuzz/CheckingSink.h"
#include "platform/SequencerEvent.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tCheckingSink sink(true);
    // Each record: the event's bytes as another client may have filled them.
    for (std::size_t at = 0; at + sizeof(snd_seq_event_t) <= size; at += sizeof(snd_seq_event_t)) {
        snd_seq_event_t event;
        std::memcpy(&event, data + at, sizeof event);
        DeliverSequencerEvent(event, sink);
    }
    // Short inputs: a type and the first bytes of the data, the rest zero.
    if (size < sizeof(snd_seq_event_t) && size > 0) {
        snd_seq_event_t event;
        std::memset(&event, 0, sizeof event);
        event.type = data[0];
        std::memcpy(&event.data, data + 1, std::min(size - 1, sizeof event.data));
        DeliverSequencerEvent(event, sink);
    }
    return 0;
}
