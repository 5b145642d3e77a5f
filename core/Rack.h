// The rack: owns the modules, fans MIDI events out to them, renders and mixes one block.
//
// Threads. The thread that owns the rack (the GUI thread, or the renderer's and the tests'
// main thread) changes the slot list and the connections. MIDI events may come from any
// thread. While blocks are being rendered (SetRendering(true), audio on) they are queued and
// delivered to the modules at the start of the next block, on the thread that renders, so a
// note never starts half-written and the modules never see two threads at once. A block
// delivers them, in order, only while the rack's budget for starting notes (tWorkBudget,
// shared by every module) lasts; the rest wait for the next blocks. While no
// block renders they are delivered at once under the rack's lock, so nothing piles up. An
// all-notes-off is never lost: when the queue is full, what was queued before it is
// discarded (and counted as dropped) and it takes effect at the next block. Rendering (the audio
// thread) takes the rack's lock without waiting: should the owner hold it, the block is silence
// and no event is delivered. While an engine renders, the owner therefore takes the lock only in
// the time the engine gives it after rendering ahead (see GrantLease), so edits leave no hole.
// The owner holds the lock only for pointer changes and short module operations; modules are
// constructed and destroyed outside it.
#pragma once

#include "core/MidiSink.h"
#include "core/RackEvent.h"
#include "core/Slot.h"
#include "dsp/Random.h"
#include "dsp/SampleRate.h"

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
    // NoteOn, NoteOff, SetPan and ChannelNotesOff reach the slots whose channel is channel;
    // Controller and AllNotesOff reach every slot.
    void NoteOn(int channel, int key, int velocity) override;
    void NoteOff(int channel, int key) override;
    void Controller(int channel, int number, int value) override;
    void SetPan(int channel, int value) override;
    void AllNotesOff() override;
    void ChannelNotesOff(int channel) override;
    // Note-ons that arrived on channel (0..15) so far, whoever played them; the main window
    // compares the counts to tell when notes arrive where nothing can sound.
    std::uint32_t NotesOnChannel(int channel) const {
        return channel >= 0 && channel < 16 ? mNotesOn[channel].load(std::memory_order_relaxed) : 0;
    }
    // Events queued and not yet delivered to the modules.
    int WaitingEvents() const { return static_cast<int>(mEvents.Head() - mEvents.Tail()); }
    // The budget every module's note starts draw on (rendering thread).
    const tWorkBudget& Budget() const { return mBudget; }
    // Events lost because the queue was full.
    unsigned DroppedEvents() const { return mDropped.load(std::memory_order_relaxed); }
    // Whether a thread renders blocks one after the other (audio on): events are then queued
    // for the next block; otherwise they are delivered at once. The audio switch sets it.
    void SetRendering(bool rendering);
    bool IsRendering() const { return mRendering.load(); }

    // --- handing the rack to its owner between blocks (engine and owning thread) ------
    // An engine renders the rack in calls paced by a device. When the owning thread wants
    // the lock (a structure change, a tGuard) while blocks are rendered, it waits until the
    // engine has just finished a call and rendered the next call's sound ahead (GrantLease,
    // with the call's duration). The owner may begin its work in the first half of that
    // call's time: it then has a call and a half before the engine needs the lock again, and
    // no block goes silent. EndLease: the engine plays what it rendered ahead. A renderer that
    // never grants (rack.Render alone) makes the owner wait kLeaseWaitMs at most, as does a
    // renderer that stopped.
    static constexpr int kLeaseWaitMs = 250;
    void RenderWithLeases() {
        if (!mLeasing.load(std::memory_order_relaxed)) mLeasing.store(true);
    }
    bool LockWanted() const { return mWanted.load(std::memory_order_acquire) > 0; }
    void GrantLease(double callSeconds);
    void EndLease() { mLeaseEnd.store(0, std::memory_order_release); }

    // The generator the rack's noise sources draw from: the thread's while the rack renders or
    // delivers events on it. A front end that wants the same sound from the same input (the
    // renderer, a plugin) builds the rack's modules inside a tRandomScope of it too.
    tRandom& Random() { return mRandom; }

    // Blocks in which a module's output was not finite: that module's block was replaced by
    // silence and the module reset, so nothing non-finite reaches the mix.
    unsigned SilencedBlocks() const { return mSilenced.load(std::memory_order_relaxed); }

    // --- rendering (one rendering thread) ----------------------------------------------
    // Grants the block's budget, delivers the queued events while it lasts, prepares the
    // notes waiting in every module (oldest first, as far as the budget goes), renders every
    // instrument, pulls every active sink and mixes them: frames x Channels() doubles,
    // interleaved. Silence while the structure is being changed.
    const double* Render(int frames);
    // The same, delivering count already-decoded events (in order, after the queued ones)
    // straight to the modules on this thread while the budget lasts. delivered: how many of
    // them, from the first, reached the modules; the caller keeps the rest for its next
    // block. -1 (none delivered, the block silence) while the structure is being changed.
    const double* Render(int frames, const tRackEvent* events, int count, int& delivered);
    // The events of that entry without rendering, on what is left of the block's budget, for
    // a caller whose events overflow what it keeps: how many, from the first, were delivered
    // (none while the structure is being changed).
    int TryDeliver(const tRackEvent* events, int count);

private:
    // The owning thread's way to the lock: through a lease while an engine renders.
    void LockForOwner();
    class tOwnerLock {
    public:
        explicit tOwnerLock(tRack& rack) : mRack(rack) { mRack.LockForOwner(); }
        ~tOwnerLock() { mRack.mLock.unlock(); }
        tOwnerLock(const tOwnerLock&) = delete;
        tOwnerLock& operator=(const tOwnerLock&) = delete;

    private:
        tRack& mRack;
    };

    void Post(const tRackEvent& event);
    // Lock held. budgeted: only while the block's budget lets events through.
    void DeliverPending(bool budgeted = false);
    // Lock held: the modules' waiting notes, oldest first, as far as the budget goes.
    void PrepareWaitingNotes();
    void CountSilenced(); // lock held
    void Deliver(const tRackEvent& event);
    static bool IsUpstream(const tSlot* b, const tSlot* a);

    std::mutex mLock;     // slot list, connections, module engine state
    std::mutex mPostLock; // serialises the event producers
    std::atomic<std::thread::id> mGuardOwner{};
    tEventQueue mEvents;
    std::atomic<unsigned> mDropped{0};
    std::atomic<bool> mRendering{false};
    std::atomic<bool> mLeasing{false}; // an engine renders and grants leases
    std::atomic<int> mWanted{0};       // owners waiting for the lock
    // Until when (steady clock, nanoseconds) the owner may begin work: the engine has
    // rendered ahead. 0: no lease.
    std::atomic<std::int64_t> mLeaseEnd{0};
    bool Leased() const;
    // All-notes-offs that found the queue full: the events queued before them (up to the
    // queue position mFlushBefore) are discarded at the next block, then they are delivered.
    // Bit c for channel c, kFlushEveryChannel for every channel.
    static constexpr std::uint32_t kFlushEveryChannel = 1u << 16;
    std::atomic<std::uint32_t> mFlushPending{0};
    std::atomic<std::uint32_t> mFlushBefore{0};
    std::atomic<unsigned> mSilenced{0};
    std::atomic<std::uint32_t> mNotesOn[16] = {};
    std::vector<tSlot*> mSlots;
    tRandom mRandom;
    tWorkBudget mBudget;
    int mChannels = 1;
    int mSampleRate = kReferenceRate;
    double mMix[kMixSize] = {};
};
