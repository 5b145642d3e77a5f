#include "core/Engine.h"

#include "core/MasterStage.h"
#include "core/Rack.h"
#include "dsp/SampleRate.h"

#include <algorithm>

tEngine::tEngine(tRack& rack) : mRack(rack), mMaster(nullptr), mAhead(2 * kMaxAhead) {}

tEngine::tEngine(tRack& rack, tMasterStage& master)
    : mRack(rack), mMaster(&master), mAhead(2 * kMaxAhead) {}

bool tEngine::Prepare(int sampleRate, int channels) {
    if (!isValidSampleRate(sampleRate)) return false;
    mChannels = channels == 1 ? 1 : 2;
    mSampleRate = sampleRate;
    mRack.AllNotesOff();
    mRack.SetChannels(mChannels);
    // A module set up for a new rate may build its lines again; at the same rate preparing
    // is enough.
    if (mRack.SampleRate() != sampleRate)
        mRack.SetSampleRate(sampleRate);
    else
        mRack.PrepareAll();
    if (mMaster != nullptr) mMaster->SetSampleRate(sampleRate);
    mDecoder.Reset();
    mPending.Clear();
    mAheadStart = mAheadEnd = 0;
    mRack.EndLease();
    return true;
}

// --- events --------------------------------------------------------------------------------

void tEngine::tPending::Add(const tRackEvent& event) {
    // A full list goes to the modules ahead of its piece as far as the rack lets it.
    if (count == kMaxPending) Consume(rack.TryDeliver(events, count));
    if (count < kMaxPending) {
        events[count++] = event;
        return;
    }
    if (event.kind == tRackEvent::kAllNotesOff) {
        // It silences what the waiting events would have started.
        dropped += static_cast<unsigned>(count);
        count = 0;
        events[count++] = event;
        return;
    }
    ++dropped;
}

void tEngine::tPending::Consume(int n) {
    if (n <= 0) return;
    std::copy(events + n, events + count, events);
    count -= n;
}

void tEngine::tPending::NoteOn(int channel, int key, int velocity) {
    Add({tRackEvent::kNoteOn, static_cast<std::int8_t>(channel), static_cast<std::int16_t>(key),
         static_cast<std::int16_t>(velocity)});
}

void tEngine::tPending::NoteOff(int channel, int key) {
    Add({tRackEvent::kNoteOff, static_cast<std::int8_t>(channel), static_cast<std::int16_t>(key),
         0});
}

void tEngine::tPending::Controller(int channel, int number, int value) {
    Add({tRackEvent::kController, static_cast<std::int8_t>(channel),
         static_cast<std::int16_t>(number), static_cast<std::int16_t>(value)});
}

void tEngine::tPending::SetPan(int channel, int value) {
    Add({tRackEvent::kPan, static_cast<std::int8_t>(channel), 0, static_cast<std::int16_t>(value)});
}

void tEngine::tPending::AllNotesOff() {
    Add({tRackEvent::kAllNotesOff, -1, 0, 0});
}

void tEngine::tPending::ChannelNotesOff(int channel) {
    Add({tRackEvent::kAllNotesOff, static_cast<std::int8_t>(channel & 0x0F), 0, 0});
}

void tEngine::Feed(const tEngineEvent& event) {
    const int size = std::min<int>(event.size, 3);
    for (int i = 0; i < size; ++i) mDecoder.Feed(event.bytes[i]);
}

// --- rendering -----------------------------------------------------------------------------

bool tEngine::RenderPiece(double* out, int frames) {
    int delivered = 0;
    const double* mix = mRack.Render(frames, mPending.events, mPending.count, delivered);
    mPending.Consume(delivered);
    const int n = frames * mChannels;
    if (mMaster != nullptr)
        mMaster->Process(mix, frames, mChannels, out);
    else
        std::copy(mix, mix + n, out);
    return delivered >= 0;
}

int tEngine::PlayAhead(double* out, int frames) {
    if (mAheadStart == mAheadEnd) return 0;
    // The owner's time with the rack runs until the block after this one.
    mRack.EndLease();
    const int n = std::min(frames, mAheadEnd - mAheadStart);
    std::copy_n(mAhead.data() + mAheadStart * mChannels, n * mChannels, out);
    mAheadStart += n;
    if (mAheadStart == mAheadEnd) mAheadStart = mAheadEnd = 0;
    return n;
}

void tEngine::RenderAhead(int frames) {
    int done = 0;
    while (done < frames) {
        const int piece = std::min(frames - done, kMaxPiece);
        if (!RenderPiece(mAhead.data() + done * mChannels, piece)) break; // the owner has it
        done += piece;
    }
    mAheadStart = 0;
    mAheadEnd = done;
    if (done == frames) mRack.GrantLease(static_cast<double>(frames) / mSampleRate);
}

void tEngine::Process(const tEngineEvent* events, int count, double* out, int frames) {
    mRack.RenderWithLeases();
    int next = 0;
    for (int done = PlayAhead(out, frames); done < frames;) {
        for (; next < count && events[next].frame <= done; ++next) Feed(events[next]);
        int end = std::min(frames, done + kMaxPiece);
        if (next < count) end = std::min(end, events[next].frame);
        RenderPiece(out + done * mChannels, end - done);
        done = end;
    }
    // Events stamped past the call (or falling in what was rendered ahead) reach the modules
    // at the start of the next piece rendered.
    for (; next < count; ++next) Feed(events[next]);
    // The owner waits for the rack: the next call's sound is rendered now and the rack handed
    // over until then.
    if (mAheadEnd == 0 && frames <= kMaxAhead && mRack.LockWanted()) RenderAhead(frames);
}
