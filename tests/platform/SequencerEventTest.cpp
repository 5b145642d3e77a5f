#include "platform/SequencerEvent.h"

#include "core/RecordingSink.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

namespace {

using Events = std::vector<std::string>;

snd_seq_event_t NoteEvent(snd_seq_event_type_t type, int channel, int key, int velocity) {
    snd_seq_event_t event;
    std::memset(&event, 0, sizeof event);
    event.type = type;
    event.data.note.channel = static_cast<unsigned char>(channel);
    event.data.note.note = static_cast<unsigned char>(key);
    event.data.note.velocity = static_cast<unsigned char>(velocity);
    return event;
}

snd_seq_event_t ControlEvent(snd_seq_event_type_t type, int channel, unsigned param, int value) {
    snd_seq_event_t event;
    std::memset(&event, 0, sizeof event);
    event.type = type;
    event.data.control.channel = static_cast<unsigned char>(channel);
    event.data.control.param = param;
    event.data.control.value = value;
    return event;
}

Events Deliver(std::initializer_list<snd_seq_event_t> events) {
    tRecordingSink sink;
    for (const snd_seq_event_t& event : events) DeliverSequencerEvent(event, sink);
    return sink.Events();
}

} // namespace

TEST(SequencerEvent, NotesWithVelocityZeroNoteOnAsNoteOff) {
    EXPECT_EQ(Deliver({NoteEvent(SND_SEQ_EVENT_NOTEON, 0, 60, 100),
                       NoteEvent(SND_SEQ_EVENT_NOTEON, 0, 60, 0),
                       NoteEvent(SND_SEQ_EVENT_NOTEON, 15, 127, 127),
                       NoteEvent(SND_SEQ_EVENT_NOTEOFF, 15, 127, 64)}),
              (Events{"on 0 60 100", "off 0 60", "on 15 127 127", "off 15 127"}));
}

TEST(SequencerEvent, ControllersOfEveryKindAndPan) {
    // Controller 10 sets the pan only, whichever kind of controller event carries it.
    EXPECT_EQ(Deliver({ControlEvent(SND_SEQ_EVENT_CONTROLLER, 2, 7, 100),
                       ControlEvent(SND_SEQ_EVENT_CONTROLLER, 2, 10, 32),
                       ControlEvent(SND_SEQ_EVENT_CONTROL14, 3, 10, 9000),
                       ControlEvent(SND_SEQ_EVENT_CONTROLLER, 0, 123, 0),
                       ControlEvent(SND_SEQ_EVENT_CONTROLLER, 0, 120, 0)}),
              (Events{"ctl 2 7 100", "pan 2 32", "pan 3 9000", "ctl 0 123 0", "ctl 0 120 0"}));
    // 14-bit values and parameter numbers pass whole; values beyond MIDI's are limited.
    EXPECT_EQ(Deliver({ControlEvent(SND_SEQ_EVENT_CONTROL14, 1, 1, 16383),
                       ControlEvent(SND_SEQ_EVENT_REGPARAM, 4, 0, 200),
                       ControlEvent(SND_SEQ_EVENT_NONREGPARAM, 5, 1000, 5000),
                       ControlEvent(SND_SEQ_EVENT_CONTROLLER, 6, 1, 1000),
                       ControlEvent(SND_SEQ_EVENT_NONREGPARAM, 6, 2, -7),
                       ControlEvent(SND_SEQ_EVENT_CONTROL14, 6, 3, 70000)}),
              (Events{"ctl 1 1 16383", "ctl 4 0 200", "ctl 5 1000 5000", "ctl 6 1 127", "ctl 6 2 0",
                      "ctl 6 3 16383"}));
}

TEST(SequencerEvent, PitchBendCentredAt8192) {
    EXPECT_EQ(Deliver({ControlEvent(SND_SEQ_EVENT_PITCHBEND, 0, 0, 0),
                       ControlEvent(SND_SEQ_EVENT_PITCHBEND, 9, 0, -8192),
                       ControlEvent(SND_SEQ_EVENT_PITCHBEND, 9, 0, 8191),
                       ControlEvent(SND_SEQ_EVENT_PITCHBEND, 9, 0, 20000)}),
              (Events{"ctl 0 -1 8192", "ctl 9 -1 0", "ctl 9 -1 16383", "ctl 9 -1 16383"}));
}

TEST(SequencerEvent, OtherEventTypesIgnored) {
    tRecordingSink sink;
    for (snd_seq_event_type_t type :
         {SND_SEQ_EVENT_PGMCHANGE, SND_SEQ_EVENT_CHANPRESS, SND_SEQ_EVENT_KEYPRESS,
          SND_SEQ_EVENT_SYSEX, SND_SEQ_EVENT_CLOCK, SND_SEQ_EVENT_START,
          SND_SEQ_EVENT_PORT_SUBSCRIBED, SND_SEQ_EVENT_NOTE}) {
        EXPECT_FALSE(DeliverSequencerEvent(ControlEvent(type, 0, 10, 64), sink)) << int(type);
    }
    EXPECT_TRUE(sink.Events().empty());
}
