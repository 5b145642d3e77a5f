#include "core/Rack.h"

#include "dsp/BlockOps.h"
#include "dsp/FlushDenormals.h"

#include <algorithm>
#include <chrono>

namespace {
constexpr std::size_t kReservedSlots = 256;

void Unlink(std::vector<tSlot*>& list, const tSlot* slot) {
    list.erase(std::remove(list.begin(), list.end(), slot), list.end());
}
} // namespace

tRack::tRack() {
    mSlots.reserve(kReservedSlots);
}

tRack::~tRack() {
    for (tSlot* slot : mSlots) delete slot;
}

bool tRack::Contains(const tSlot* slot) const {
    return std::find(mSlots.begin(), mSlots.end(), slot) != mSlots.end();
}

// --- structure ---------------------------------------------------------------------------

void tRack::Insert(tSlot* slot) {
    // The slot is not visible to the rendering thread yet: prepare it without the lock.
    slot->SetBudget(mBudget);
    slot->AllNotesOff();
    slot->SetChannels(mChannels);
    slot->SetSampleRate(mSampleRate);
    slot->Prepare();
    const tOwnerLock lock(*this);
    DeliverPending();
    mSlots.push_back(slot);
}

void tRack::Delete(tSlot* slot) {
    {
        const tOwnerLock lock(*this);
        DeliverPending();
        if (!Contains(slot)) return;
        slot->SwitchOff();
        Unlink(mSlots, slot);
        for (tSlot* target : slot->mOutputs) Unlink(target->mInputs, slot);
        for (tSlot* source : slot->mInputs) Unlink(source->mOutputs, slot);
        slot->mOutputs.clear();
        slot->mInputs.clear();
    }
    delete slot;
}

void tRack::Clear() {
    std::vector<tSlot*> doomed;
    {
        const tOwnerLock lock(*this);
        DeliverPending();
        for (tSlot* slot : mSlots) {
            slot->SwitchOff();
            tSlot::ResetIdCounter();
        }
        doomed.swap(mSlots);
        mSlots.reserve(kReservedSlots);
    }
    for (tSlot* slot : doomed) delete slot;
}

bool tRack::IsUpstream(const tSlot* b, const tSlot* a) {
    // Is b one of a's inputs, or upstream of one of them?
    for (const tSlot* input : a->mInputs) {
        if (input == b || IsUpstream(b, input)) return true;
    }
    return false;
}

void tRack::Connect(tSlot* a, tSlot* b) {
    if (a == nullptr || b == nullptr || a == b || !b->AcceptsInput()) return;
    const tOwnerLock lock(*this);
    if (IsUpstream(b, a)) return;
    auto& outputs = a->mOutputs;
    if (std::find(outputs.begin(), outputs.end(), b) != outputs.end()) {
        Unlink(outputs, b);
        Unlink(b->mInputs, a);
        return;
    }
    Unlink(b->mInputs, a);
    b->mInputs.push_back(a);
    outputs.push_back(b);
}

void tRack::SetChannels(int n) {
    const tOwnerLock lock(*this);
    DeliverPending();
    mChannels = n;
    for (tSlot* slot : mSlots) slot->SetChannels(n);
}

void tRack::SetSampleRate(int rate) {
    const tOwnerLock lock(*this);
    DeliverPending();
    mSampleRate = rate;
    mBudget.SetSampleRate(rate);
    for (tSlot* slot : mSlots) {
        slot->SetSampleRate(rate);
        slot->Prepare();
    }
}

void tRack::PrepareAll() {
    const tOwnerLock lock(*this);
    DeliverPending();
    for (tSlot* slot : mSlots) slot->Prepare();
}

namespace {
std::int64_t Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

void tRack::GrantLease(double callSeconds) {
    mLeaseEnd.store(Now() + static_cast<std::int64_t>(0.5e9 * callSeconds),
                    std::memory_order_release);
}

bool tRack::Leased() const {
    return Now() < mLeaseEnd.load(std::memory_order_acquire);
}

void tRack::LockForOwner() {
    if (!mRendering.load() || !mLeasing.load() || Leased()) {
        mLock.lock();
        return;
    }
    mWanted.fetch_add(1, std::memory_order_acq_rel);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kLeaseWaitMs);
    while (!Leased() && mRendering.load() && mLeasing.load() &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    mLock.lock();
    mWanted.fetch_sub(1, std::memory_order_acq_rel);
}

tRack::tGuard::tGuard(tRack& rack) : mRack(rack) {
    mRack.LockForOwner();
    mRack.mGuardOwner.store(std::this_thread::get_id());
    mRack.DeliverPending();
}

tRack::tGuard::~tGuard() {
    mRack.mGuardOwner.store(std::thread::id());
    mRack.mLock.unlock();
}

bool tRack::GuardedByThisThread() const {
    return mGuardOwner.load() == std::this_thread::get_id();
}

// --- MIDI fan-out --------------------------------------------------------------------------

void tRack::SetRendering(bool rendering) {
    mRendering.store(rendering);
    if (rendering) return;
    mLeasing.store(false);
    mLeaseEnd.store(0);
    // What was queued for a block that will not come is delivered now, or by the next event
    // or structure change when the rack is busy (this may run on the audio thread, which
    // never waits for the rack's owner).
    std::unique_lock<std::mutex> lock(mLock, std::try_to_lock);
    if (lock.owns_lock()) DeliverPending();
}

void tRack::Post(const tRackEvent& event) {
    if (!mRendering.load()) {
        // An event sent from inside a tGuard finds the rack this thread's already.
        std::unique_lock<std::mutex> lock(mLock, std::defer_lock);
        if (!GuardedByThisThread()) lock.lock();
        DeliverPending();
        Deliver(event);
        return;
    }
    std::lock_guard<std::mutex> lock(mPostLock);
    if (mEvents.Push(event)) return;
    if (event.kind == tRackEvent::kAllNotesOff) {
        mFlushBefore.store(mEvents.Head(), std::memory_order_relaxed);
        const std::uint32_t bit =
            event.channel < 0 ? kFlushEveryChannel : 1u << (event.channel & 0x0F);
        // One all-notes-off waiting already does the work of this one too.
        if (mFlushPending.fetch_or(bit, std::memory_order_acq_rel) & bit)
            mDropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    mDropped.fetch_add(1, std::memory_order_relaxed);
}

void tRack::NoteOn(int channel, int key, int velocity) {
    if (channel >= 0 && channel < 16 && velocity > 0)
        mNotesOn[channel].fetch_add(1, std::memory_order_relaxed);
    Post({tRackEvent::kNoteOn, static_cast<std::int8_t>(channel), static_cast<std::int16_t>(key),
          static_cast<std::int16_t>(velocity)});
}

void tRack::NoteOff(int channel, int key) {
    Post({tRackEvent::kNoteOff, static_cast<std::int8_t>(channel), static_cast<std::int16_t>(key),
          0});
}

void tRack::Controller(int channel, int number, int value) {
    Post({tRackEvent::kController, static_cast<std::int8_t>(channel),
          static_cast<std::int16_t>(number), static_cast<std::int16_t>(value)});
}

void tRack::SetPan(int channel, int value) {
    Post(
        {tRackEvent::kPan, static_cast<std::int8_t>(channel), 0, static_cast<std::int16_t>(value)});
}

void tRack::AllNotesOff() {
    Post({tRackEvent::kAllNotesOff, -1, 0, 0});
}

void tRack::ChannelNotesOff(int channel) {
    Post({tRackEvent::kAllNotesOff, static_cast<std::int8_t>(channel & 0x0F), 0, 0});
}

void tRack::DeliverPending(bool budgeted) {
    tRackEvent event;
    if (const std::uint32_t flush = mFlushPending.exchange(0, std::memory_order_acquire)) {
        const std::uint32_t before = mFlushBefore.load(std::memory_order_relaxed);
        unsigned discarded = 0;
        while (static_cast<std::int32_t>(before - mEvents.Tail()) > 0 && mEvents.Pop(event))
            ++discarded;
        mDropped.fetch_add(discarded, std::memory_order_relaxed);
        if (flush & kFlushEveryChannel) {
            Deliver({tRackEvent::kAllNotesOff, -1, 0, 0});
        } else {
            for (int channel = 0; channel < 16; ++channel)
                if (flush & (1u << channel))
                    Deliver({tRackEvent::kAllNotesOff, static_cast<std::int8_t>(channel), 0, 0});
        }
    }
    while ((!budgeted || mBudget.ForEvents()) && mEvents.Pop(event)) Deliver(event);
}

void tRack::PrepareWaitingNotes() {
    for (;;) {
        tSlot* oldest = nullptr;
        std::uint64_t ticket = tWorkBudget::kNoTicket;
        for (tSlot* slot : mSlots) {
            const std::uint64_t waiting = slot->WaitingNote();
            if (waiting < ticket) {
                ticket = waiting;
                oldest = slot;
            }
        }
        if (oldest == nullptr || !oldest->PrepareWaitingNote()) return;
    }
}

void tRack::Deliver(const tRackEvent& event) {
    switch (event.kind) {
    case tRackEvent::kNoteOn:
        for (tSlot* slot : mSlots)
            if (slot->GetChannel() == event.channel) slot->NoteOn(event.number, event.value);
        break;
    case tRackEvent::kNoteOff:
        for (tSlot* slot : mSlots)
            if (slot->GetChannel() == event.channel) slot->NoteOff(event.number);
        break;
    case tRackEvent::kController:
        for (tSlot* slot : mSlots) slot->Controller(event.channel, event.number, event.value);
        break;
    case tRackEvent::kPan:
        for (tSlot* slot : mSlots)
            if (slot->GetChannel() == event.channel) slot->SetPan(event.value);
        break;
    case tRackEvent::kAllNotesOff:
        for (tSlot* slot : mSlots)
            if (event.channel < 0 || slot->GetChannel() == event.channel) slot->AllNotesOff();
        break;
    }
}

// --- rendering -----------------------------------------------------------------------------

void tRack::CountSilenced() {
    unsigned silenced = 0;
    for (tSlot* slot : mSlots) {
        silenced += slot->mUncountedSilences;
        slot->mUncountedSilences = 0;
    }
    if (silenced != 0) mSilenced.fetch_add(silenced, std::memory_order_relaxed);
}

int tRack::TryDeliver(const tRackEvent* events, int count) {
    std::unique_lock<std::mutex> lock(mLock, std::try_to_lock);
    if (!lock.owns_lock()) return 0;
    const tRandomScope noise(mRandom);
    // The queued events go first; while they wait for the budget, so do these.
    DeliverPending(true);
    int delivered = 0;
    while (delivered < count && mBudget.ForEvents()) Deliver(events[delivered++]);
    return delivered;
}

const double* tRack::Render(int frames) {
    int delivered = 0;
    return Render(frames, nullptr, 0, delivered);
}

const double* tRack::Render(int frames, const tRackEvent* events, int count, int& delivered) {
    std::unique_lock<std::mutex> lock(mLock, std::try_to_lock);
    delivered = lock.owns_lock() ? 0 : -1;
    const int channels = lock.owns_lock() ? mChannels : 1;
    frames = std::clamp(frames, 0, kMixSize / std::max(channels, 1));
    if (!lock.owns_lock()) {
        // The structure is being changed: this block is silence. The channel count may be
        // changing too, so the whole buffer is cleared.
        std::fill(mMix, mMix + kMixSize, 0.0);
        return mMix;
    }
    const int n = frames * channels;
    // Decaying strings, bores and reverb tails end in subnormal numbers, which some processors
    // compute many times slower; the whole block treats them as zero.
    const tFlushDenormals flush;
    const tRandomScope noise(mRandom);
    mBudget.Refill(frames);
    DeliverPending(true);
    while (delivered < count && mBudget.ForEvents()) Deliver(events[delivered++]);
    PrepareWaitingNotes();
    for (tSlot* slot : mSlots) {
        slot->rendered = false;
        if (slot->AcceptsInput()) continue;
        slot->Render(frames);
        // A module that is silent or inactive gives nothing to anyone: its block is not read.
        if (slot->IsActive() && !slot->OutputSilent() && !slot->OutputChecked())
            slot->KeepFinite(n);
    }
    bool mixed = false;
    for (tSlot* slot : mSlots) {
        if (!slot->mOutputs.empty() || !slot->IsActive()) continue;
        slot->Pull(frames);
        if (slot->OutputSilent()) continue;
        const double* out = slot->Output();
        if (!mixed) {
            std::copy(out, out + n, mMix);
            mixed = true;
        } else {
            AddInto(mMix, out, n);
        }
    }
    if (!mixed) std::fill(mMix, mMix + n, 0.0);
    // Finite outputs can still add up beyond the range of a double.
    if (!AllFiniteValues(mMix, n)) {
        std::fill(mMix, mMix + n, 0.0);
        mSilenced.fetch_add(1, std::memory_order_relaxed);
    }
    CountSilenced();
    return mMix;
}
