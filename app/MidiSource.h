// The choice of MIDI input at start-up: the FIFO named with -i, standard input when it is a
// pipe, otherwise the ALSA sequencer with the client's port "Input".
#pragma once

#include <optional>
#include <string>

class tMidiIn;

struct tMidiSource {
    enum tKind { kFifo, kPipe, kSequencer };
    tKind kind = kSequencer;
    int fd = -1;      // the FIFO or pipe to read
    std::string path; // the FIFO's path (kFifo)
};

// Opens the FIFO when one is named (waiting for a writer) or looks at standard input.
// Returns the program's exit status when start-up ends here, after printing why: -1 when the
// FIFO cannot be opened or examined or standard input is a regular file, 0 when the named
// file is not a FIFO. Otherwise fills source.
std::optional<int> ChooseMidiSource(const std::string& fifoPath, int standardInput,
                                    tMidiSource& source);

// Starts the MIDI thread on the source.
void StartMidiSource(const tMidiSource& source, tMidiIn& midiIn);
