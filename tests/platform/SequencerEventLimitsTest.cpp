// Sequencer events with values beyond what MIDI carries, as another client may send them
// (found by fuzzing the translation): every event reaches the modules within MIDI's ranges.
#include "platform/SequencerEvent.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

class tEventLog : public tMidiSink {
public:
    void NoteOn(int channel, int key, int velocity) override { Add("on", channel, key, velocity); }
    void NoteOff(int channel, int key) override { Add("off", channel, key, 0); }
    void Controller(int channel, int number, int value) override {
        Add("ctl", channel, number, value);
    }
    void SetPan(int channel, int value) override { Add("pan", channel, 0, value); }
    void AllNotesOff() override { Add("all", 0, 0, 0); }
    void ChannelNotesOff(int channel) override { Add("off-all", channel, 0, 0); }
    std::vector<std::string> lines;

private:
    void Add(const char* kind, int a, int b, int c) {
        lines.push_back(std::string(kind) + " " + std::to_string(a) + " " + std::to_string(b) +
                        " " + std::to_string(c));
    }
};

snd_seq_event_t Event(int type) {
    snd_seq_event_t event{};
    event.type = static_cast<snd_seq_event_type_t>(type);
    return event;
}

} // namespace

TEST(SequencerEventLimits, ValuesBeyondMidiAreHeldAtItsEnds) {
    tEventLog log;
    snd_seq_event_t note = Event(SND_SEQ_EVENT_NOTEON);
    note.data.note.channel = 3;
    note.data.note.note = 60;
    note.data.note.velocity = 128; // was masked to a note-on of velocity 0
    DeliverSequencerEvent(note, log);

    snd_seq_event_t bend = Event(SND_SEQ_EVENT_PITCHBEND);
    bend.data.control.value = INT_MAX; // overflowed when the centre was added
    DeliverSequencerEvent(bend, log);
    bend.data.control.value = INT_MIN;
    DeliverSequencerEvent(bend, log);

    const std::vector<std::string> expected = {"on 3 60 127", "ctl 0 -1 16383", "ctl 0 -1 0"};
    EXPECT_EQ(log.lines, expected);
}
