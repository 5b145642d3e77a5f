// One ALSA sequencer event as the rack's events.
//
// Note on (velocity 0 is a note off, as keyboards send it), note off, controllers of every
// kind (7-bit, 14-bit, registered and non-registered parameters: number 10 sets the pan
// only), pitch bend (controller -1, 0..16383 with 8192 at the centre). Every other event
// type is ignored. Controllers 120 and 123 are ordinary controllers here. Values beyond what
// MIDI can carry (0..127, 0..16383 for 14-bit values and pitch bend) are limited to it.
#pragma once

#include "core/MidiSink.h"

#include <alsa/asoundlib.h>

// True when the event reached the sink.
bool DeliverSequencerEvent(const snd_seq_event_t& event, tMidiSink& sink);
