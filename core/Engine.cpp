#include "core/Engine.h"

#include "core/MasterStage.h"
#include "core/Rack.h"
#include "dsp/SampleRate.h"

#include <algorithm>

tEngine::tEngine(tRack& rack) : mRack(rack), mMaster(nullptr) {}

tEngine::tEngine(tRack& rack, tMasterStage& master) : mRack(rack), mMaster(&master) {}

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
    return true;
}

// --- events --------------------------------------------------------------------------------

void tEngine::tPending::Add(const tRackEvent& event) {
    // A full list goes to the modules ahead of its piece when the rack is free.
    if (count == kMaxPending && rack.TryDeliver(events, count)) count = 0;
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
    Add({tRackEvent::kAllNotesOff, 0, 0, 0});
}

void tEngine::Feed(const tEngineEvent& event) {
    const int size = std::min<int>(event.size, 3);
    for (int i = 0; i < size; ++i) mDecoder.Feed(event.bytes[i]);
}

// --- rendering -----------------------------------------------------------------------------

void tEngine::RenderPiece(double* out, int frames) {
    bool delivered = false;
    const double* mix = mRack.Render(frames, mPending.events, mPending.count, delivered);
    if (delivered) mPending.Clear();
    const int n = frames * mChannels;
    if (mMaster != nullptr)
        mMaster->Process(mix, frames, mChannels, out);
    else
        std::copy(mix, mix + n, out);
}

void tEngine::Process(const tEngineEvent* events, int count, double* out, int frames) {
    int next = 0;
    for (int done = 0; done < frames;) {
        for (; next < count && events[next].frame <= done; ++next) Feed(events[next]);
        int end = std::min(frames, done + kMaxPiece);
        if (next < count) end = std::min(end, events[next].frame);
        RenderPiece(out + done * mChannels, end - done);
        done = end;
    }
    // Events stamped past the call reach the modules at the start of the next one.
    for (; next < count; ++next) Feed(events[next]);
}
