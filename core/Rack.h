// The rack: owns the modules, fans MIDI events out to them, renders and mixes one block.
//
// Threads. The thread that owns the rack (the GUI thread, or the renderer's and the tests'
// main thread) changes the slot list and the connections. MIDI events may come from any
// thread. While blocks are being rendered (SetRendering(true), audio on) they are queued and
// delivered to the modules at the start of the next block, on the thread that renders, so a
// note never starts half-written and the modules never see two threads at once. While no
// block renders they are delivered at once under the rack's lock, so nothing piles up. An
// all-notes-off is never lost: when the queue is full, what was queued before it is
// discarded (and counted as dropped) and it takes effect at the next block. Rendering (the audio
// thread) takes the rack's lock without waiting: while the owner holds it to change the structure,
// the block is silence and no event is delivered. The owner holds the lock only for pointer changes
// and short module operations; modules are constructed and destroyed outside it.
#pragma once

#include "core/MidiSink.h"
#include "core/RackEvent.h"
#include "core/Slot.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

class tRack : public tMidiSink {
public:
    static constexpr int kMixSize = 1024; // doubles: 256 frames of stereo and more

    tRack();
    ~tRack() override;
    tRack(const tRack&) = delete;
    tRack& operator=(const tRack&) = delete;

    // --- structure (owning thread) -----------------------------------------------------
    // Prepares the slot (AllNotesOff, SetChannels, Prepare) and appends it; takes ownership.
    void Insert(tSlot* slot);
    // Switches the slot off, removes it and its connections, destroys it.
    void Delete(tSlot* slot);
    // Switches every slot off, destroys them all and resets the id counter.
    void Clear();
    // Toggles the connection from a's output to b's input. Ignored when b accepts no input,
    // when a is b, or when the connection would close a cycle.
    void Connect(tSlot* a, tSlot* b);
    void SetChannels(int n);
    int Channels() const { return mChannels; }
    // Every module's sample rate, while no block renders (audio off): each slot takes the
    // rate and is prepared again. Slots inserted later take the rack's rate.
    void SetSampleRate(int rate);
    int SampleRate() const { return mSampleRate; }
    void PrepareAll();
    // The slots in insertion order (the order of rendering, event delivery and saving).
    const std::vector<tSlot*>& Slots() const { return mSlots; }
    bool Contains(const tSlot* slot) const;

    // Exclusive access to the inserted modules for the owning thread, for operations that
    // touch engine state (switching, channel changes, loading a patch into an effects unit).
    // Pending MIDI events are delivered first, so their order is kept.
    class tGuard {
    public:
        explicit tGuard(tRack& rack);
        ~tGuard();
        tGuard(const tGuard&) = delete;
        tGuard& operator=(const tGuard&) = delete;

    private:
        tRack& mRack;
    };
    // Whether the calling thread holds a tGuard: its events are then delivered at once.
    bool GuardedByThisThread() const;

    // --- MIDI fan-out (any thread) -----------------------------------------------------
    // NoteOn, NoteOff and SetPan reach the slots whose channel is channel; Controller and
    // AllNotesOff reach every slot.
    void NoteOn(int channel, int key, int velocity) override;
    void NoteOff(int channel, int key) override;
    void Controller(int channel, int number, int value) override;
    void SetPan(int channel, int value) override;
    void AllNotesOff() override;
    // Events lost because the queue was full.
    unsigned DroppedEvents() const { return mDropped.load(std::memory_order_relaxed); }
    // Whether a thread renders blocks one after the other (audio on): events are then queued
    // for the next block; otherwise they are delivered at once. The audio switch sets it.
    void SetRendering(bool rendering);
    bool IsRendering() const { return mRendering.load(); }

    // Blocks in which a module's output was not finite: that module's block was replaced by
    // silence and the module reset, so nothing non-finite reaches the mix.
    unsigned SilencedBlocks() const { return mSilenced.load(std::memory_order_relaxed); }

    // --- rendering (one rendering thread) ----------------------------------------------
    // Delivers the queued events, renders every instrument, pulls every active sink and
    // mixes them: frames x Channels() doubles, interleaved. Silence while the structure is
    // being changed.
    const double* Render(int frames);
    // The same, delivering count already-decoded events (in order, after the queued ones)
    // straight to the modules on this thread first. delivered tells whether they reached
    // them: false while the structure is being changed (the block is then silence), and the
    // caller keeps them for its next block.
    const double* Render(int frames, const tRackEvent* events, int count, bool& delivered);
    // The events of that entry without rendering, for a caller whose events overflow what it
    // keeps: false, and nothing delivered, while the structure is being changed.
    bool TryDeliver(const tRackEvent* events, int count);

private:
    void Post(const tRackEvent& event);
    void DeliverPending(); // lock held
    void CountSilenced();  // lock held
    void Deliver(const tRackEvent& event);
    static bool IsUpstream(const tSlot* b, const tSlot* a);

    std::mutex mLock;     // slot list, connections, module engine state
    std::mutex mPostLock; // serialises the event producers
    std::atomic<std::thread::id> mGuardOwner{};
    tEventQueue mEvents;
    std::atomic<unsigned> mDropped{0};
    std::atomic<bool> mRendering{false};
    // An all-notes-off that found the queue full: the events queued before it (up to the
    // queue position mFlushBefore) are discarded at the next block, then it is delivered.
    std::atomic<bool> mFlushPending{false};
    std::atomic<std::uint32_t> mFlushBefore{0};
    std::atomic<unsigned> mSilenced{0};
    std::vector<tSlot*> mSlots;
    int mChannels = 1;
    int mSampleRate = 44100;
    double mMix[kMixSize] = {};
};
