// One ALSA sequencer event as the rack's events.
//
// Note on (velocity 0 is a note off, as keyboards send it), note off, controllers of every
// kind (7-bit, 14-bit, registered and non-registered parameters: number 10 sets the pan
// only), pitch bend (controller -1, 0..16383 with 8192 at the centre). Every other event
// type is ignored. Controllers 120 (all sound off) and 123 (all notes off) switch off the
// notes of the slots on their channel. The modules' controller handlers take 7-bit values:
// a 14-bit value or parameter value is handed on as its upper seven bits, and a parameter
// number outside 0..127 reaches no module (it could never stand for pitch bend). Values
// beyond what MIDI can carry are limited to it.
#pragma once

#include "core/MidiSink.h"

#include <alsa/asoundlib.h>

// True when the event reached the sink.
bool DeliverSequencerEvent(const snd_seq_event_t& event, tMidiSink& sink);
