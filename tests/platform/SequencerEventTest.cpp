#include "platform/SequencerEvent.h"

#include "catalog/Presets.h"
#include "core/Engine.h"
#include "core/Rack.h"
#include "core/RecordingSink.h"

#include <gtest/gtest.h>

#include <cmath>
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
    // Controller 10 sets the pan only, whichever kind of controller event carries it; 120 and
    // 123 switch off the notes of their channel.
    EXPECT_EQ(Deliver({ControlEvent(SND_SEQ_EVENT_CONTROLLER, 2, 7, 100),
                       ControlEvent(SND_SEQ_EVENT_CONTROLLER, 2, 10, 32),
                       ControlEvent(SND_SEQ_EVENT_CONTROL14, 3, 10, 9000),
                       ControlEvent(SND_SEQ_EVENT_CONTROLLER, 4, 123, 0),
                       ControlEvent(SND_SEQ_EVENT_CONTROLLER, 5, 120, 0)}),
              (Events{"ctl 2 7 100", "pan 2 32", "pan 3 70", "all-off 4", "all-off 5"}));
    // 14-bit values reach the modules as their upper seven bits; values beyond MIDI's are
    // limited; a parameter number no controller has reaches nothing, least of all pitch bend.
    EXPECT_EQ(Deliver({ControlEvent(SND_SEQ_EVENT_CONTROL14, 1, 7, 16383),
                       ControlEvent(SND_SEQ_EVENT_REGPARAM, 4, 0, 200),
                       ControlEvent(SND_SEQ_EVENT_NONREGPARAM, 5, 1000, 5000),
                       ControlEvent(SND_SEQ_EVENT_NONREGPARAM, 5, 65535, 16383),
                       ControlEvent(SND_SEQ_EVENT_CONTROLLER, 6, 1, 1000),
                       ControlEvent(SND_SEQ_EVENT_NONREGPARAM, 6, 2, -7),
                       ControlEvent(SND_SEQ_EVENT_CONTROL14, 6, 3, 70000)}),
              (Events{"ctl 1 7 127", "ctl 4 0 1", "ctl 6 1 127", "ctl 6 2 0", "ctl 6 3 127"}));
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

// A keyboard's panic from the sequencer: two clarinets, on channels 1 and 2, each holding a
// note whose note-off never comes. All notes off (123) on channel 1 silences the first and
// leaves the second; all sound off (120) on channel 2 then silences it too.
TEST(SequencerEvent, PanicControllersSilenceTheirChannelsNotesInTheModules) {
    tRack rack;
    tEngine engine(rack);
    engine.Prepare(44100, 1);
    for (int channel : {1, 2}) {
        const std::size_t before = rack.Slots().size();
        AddPreset(rack, FindPreset("Clarinet"));
        tRack::tGuard guard(rack);
        for (std::size_t i = before; i < rack.Slots().size(); ++i) {
            rack.Slots()[i]->SwitchOn();
            rack.Slots()[i]->SetChannel(channel);
        }
    }
    rack.SetRendering(true);
    std::vector<double> out(128);
    auto seconds = [&](double length) {
        double peak = 0.0;
        for (int b = 0; b < length * 44100 / 128; ++b) {
            engine.Process(nullptr, 0, out.data(), 128);
            for (double x : out) peak = std::max(peak, std::fabs(x));
        }
        return peak; // of the last blocks: the caller measures what is left at the end
    };
    DeliverSequencerEvent(NoteEvent(SND_SEQ_EVENT_NOTEON, 0, 57, 100), rack);
    seconds(0.5);
    const double both = seconds(0.1);
    DeliverSequencerEvent(NoteEvent(SND_SEQ_EVENT_NOTEON, 1, 64, 100), rack);
    seconds(0.5);
    DeliverSequencerEvent(ControlEvent(SND_SEQ_EVENT_CONTROLLER, 0, 123, 0), rack);
    seconds(2.0);
    const double second = seconds(0.1);
    DeliverSequencerEvent(ControlEvent(SND_SEQ_EVENT_CONTROLLER, 1, 120, 0), rack);
    seconds(2.0);
    const double none = seconds(0.1);
    EXPECT_GT(both, 0.01);
    EXPECT_GT(second, 0.01);
    EXPECT_LT(none, 1e-3); // the effects units' tails die away
}
