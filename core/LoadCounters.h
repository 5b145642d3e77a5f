// The counter that lets the realtime MIDI thread notice that it starves the machine.
//
// The MIDI loop counts its passes; the tick thread, which runs at normal priority, zeroes the
// count every 2 ms. While the tick thread gets the processor the count stays small; when the
// realtime threads keep it busy it grows, and the MIDI thread backs off. (The audio thread
// measures its own processor time instead: tMasterStage::UpdateLoad.) A lost increment or
// reset is harmless, so the counter is a relaxed atomic.
#pragma once

#include <atomic>

class tLoadCounters {
public:
    // --- passes of the MIDI loop since the last tick ------------------------------------
    int CountMidiLoop() { return mMidiLoops.fetch_add(1, std::memory_order_relaxed) + 1; }
    int MidiLoops() const { return mMidiLoops.load(std::memory_order_relaxed); }

    // The tick thread's step: the count back to 0.
    void Tick() { mMidiLoops.store(0, std::memory_order_relaxed); }

private:
    std::atomic<int> mMidiLoops{0};
};
