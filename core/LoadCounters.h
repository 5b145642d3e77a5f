// The counters that let the realtime threads notice that they starve the machine.
//
// The audio callback counts its blocks and the MIDI loop counts its passes; the tick thread,
// which runs at normal priority, zeroes both every 2 ms. While the tick thread gets the
// processor the counts stay small; when the realtime threads keep it busy they grow, first
// colouring the load meter red (above the warning level) and then making the audio callback
// switch audio off (above the cut-off level). A lost increment or reset is harmless, so the
// counters are relaxed atomics.
#pragma once

#include <atomic>

class tLoadCounters {
public:
    // Levels for MIDI from a FIFO or a pipe, and from the sequencer.
    static constexpr int kFifoWarningLevel = 40;
    static constexpr int kFifoCutOffLevel = 120;
    static constexpr int kSequencerWarningLevel = 80;
    static constexpr int kSequencerCutOffLevel = 200;

    // --- blocks produced by the audio callback since the last tick --------------------
    int CountBlock() { return mBlocks.fetch_add(1, std::memory_order_relaxed) + 1; }
    int Blocks() const { return mBlocks.load(std::memory_order_relaxed); }
    void ResetBlocks() { mBlocks.store(0, std::memory_order_relaxed); }

    // --- passes of the MIDI loop since the last tick ------------------------------------
    int CountMidiLoop() { return mMidiLoops.fetch_add(1, std::memory_order_relaxed) + 1; }
    int MidiLoops() const { return mMidiLoops.load(std::memory_order_relaxed); }

    // The tick thread's step: both counters back to 0.
    void Tick() {
        mBlocks.store(0, std::memory_order_relaxed);
        mMidiLoops.store(0, std::memory_order_relaxed);
    }

    // --- levels, chosen with the MIDI source at start-up --------------------------------
    int WarningLevel() const { return mWarningLevel.load(std::memory_order_relaxed); }
    int CutOffLevel() const { return mCutOffLevel.load(std::memory_order_relaxed); }
    void SetLevels(int warning, int cutOff) {
        mWarningLevel.store(warning, std::memory_order_relaxed);
        mCutOffLevel.store(cutOff, std::memory_order_relaxed);
    }
    void UseFifoLevels() { SetLevels(kFifoWarningLevel, kFifoCutOffLevel); }
    void UseSequencerLevels() { SetLevels(kSequencerWarningLevel, kSequencerCutOffLevel); }

private:
    std::atomic<int> mBlocks{0};
    std::atomic<int> mMidiLoops{0};
    std::atomic<int> mWarningLevel{kSequencerWarningLevel};
    std::atomic<int> mCutOffLevel{kSequencerCutOffLevel};
};
