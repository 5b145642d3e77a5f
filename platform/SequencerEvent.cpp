#include "platform/SequencerEvent.h"

#include <algorithm>

namespace {
constexpr int kPanController = 10;
constexpr int kAllSoundOff = 120;
constexpr int kAllNotesOff = 123;
constexpr int kPitchBend = -1;
constexpr int kPitchBendCentre = 8192;
constexpr int kMax7Bit = 127;
constexpr int kMax14Bit = 16383;

// Another client may send any value; the modules get one of the range MIDI bytes can carry.
int Limit(long long value, int maximum) {
    return static_cast<int>(std::clamp<long long>(value, 0, maximum));
}
} // namespace

bool DeliverSequencerEvent(const snd_seq_event_t& event, tMidiSink& sink) {
    switch (event.type) {
    case SND_SEQ_EVENT_NOTEON: {
        const snd_seq_ev_note_t& note = event.data.note;
        if (note.velocity == 0)
            sink.NoteOff(note.channel & 0x0F, note.note & 0x7F);
        else
            sink.NoteOn(note.channel & 0x0F, note.note & 0x7F, Limit(note.velocity, kMax7Bit));
        return true;
    }
    case SND_SEQ_EVENT_NOTEOFF:
        sink.NoteOff(event.data.note.channel & 0x0F, event.data.note.note & 0x7F);
        return true;
    case SND_SEQ_EVENT_CONTROLLER:
    case SND_SEQ_EVENT_CONTROL14:
    case SND_SEQ_EVENT_NONREGPARAM:
    case SND_SEQ_EVENT_REGPARAM: {
        const snd_seq_ev_ctrl_t& control = event.data.control;
        const int channel = control.channel & 0x0F;
        if (control.param > kMax7Bit) return false;
        const int number = static_cast<int>(control.param);
        // A 14-bit value's upper seven bits are what a 7-bit controller of the same number
        // would carry.
        const int value = event.type == SND_SEQ_EVENT_CONTROLLER
                              ? Limit(control.value, kMax7Bit)
                              : Limit(control.value, kMax14Bit) >> 7;
        if (number == kAllSoundOff || number == kAllNotesOff)
            sink.ChannelNotesOff(channel);
        else if (number == kPanController)
            sink.SetPan(channel, value);
        else
            sink.Controller(channel, number, value);
        return true;
    }
    case SND_SEQ_EVENT_PITCHBEND:
        sink.Controller(
            event.data.control.channel & 0x0F, kPitchBend,
            Limit(static_cast<long long>(event.data.control.value) + kPitchBendCentre, kMax14Bit));
        return true;
    default:
        return false;
    }
}
