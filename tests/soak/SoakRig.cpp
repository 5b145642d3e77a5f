#include "SoakRig.h"

#include "flute/FluteSynth.h"
#include "string/StringModule.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

tSoakCoverage& tSoakCoverage::Total() {
    static tSoakCoverage total;
    return total;
}

tSoakRig::tSoakRig(std::string what, int period, int rate)
    : mWhat(std::move(what)), mPeriod(period), mRate(rate), mMaster(mMasterControls),
      mEngine(mRack, mMaster) {
    mEngine.Prepare(rate, 2);
    mRack.SetRendering(true); // as with audio on: events from other threads are queued
    mDue.reserve(kMaxEvents);
    ++tSoakCoverage::Total().racks;
}

tSoakRig::~tSoakRig() {
    tSoakCoverage& total = tSoakCoverage::Total();
    total.blocks += mBlocks;
    total.seconds += static_cast<double>(mFrames) / mRate;
    total.events += mEvents;
    if (mPeak > total.peak) {
        total.peak = mPeak;
        total.peakWhere = mWhat;
    }
}

void tSoakRig::SwitchAllOn(int channel) {
    mChannel = channel;
    tRack::tGuard guard(mRack);
    for (tSlot* slot : mRack.Slots()) {
        if (auto* string = dynamic_cast<tStringModule*>(slot))
            string->Controls().top.midiController.Set(1.0);
        if (auto* flute = dynamic_cast<tFluteSynth*>(slot))
            flute->Controls().midiController.Set(1.0);
        slot->SwitchOn();
        slot->SetChannel(channel);
    }
}

void tSoakRig::MoveToChannel(int channel) {
    mChannel = channel;
    tRack::tGuard guard(mRack);
    for (tSlot* slot : mRack.Slots()) slot->SetChannel(channel);
}

void tSoakRig::Send(std::initializer_list<int> bytes) {
    tEngineEvent event;
    for (int byte : bytes) event.bytes[event.size++] = static_cast<std::uint8_t>(byte);
    if (mDue.size() < kMaxEvents) mDue.push_back(event);
    ++mEvents;
}

double tSoakRig::CheckModules(bool activeOnly) {
    const int n = mPeriod * mRack.Channels();
    double loudest = 0.0;
    for (tSlot* slot : mRack.Slots()) {
        if (activeOnly && !slot->IsActive()) continue;
        const double* out = slot->Output();
        for (int i = 0; i < n; ++i) {
            const double x = std::fabs(out[i]);
            if (!(x <= kBound)) { // also NaN
                if (mFault.empty()) {
                    char text[160];
                    std::snprintf(text, sizeof text, "block %ld: module %d (type %d) gives %g",
                                  mBlocks, slot->Id(), slot->Type(), out[i]);
                    mFault = mWhat + ", " + text;
                }
                return x;
            }
            loudest = std::max(loudest, x);
        }
    }
    return loudest;
}

bool tSoakRig::Block() {
    mOut.resize(static_cast<std::size_t>(mPeriod) * 2);
    mEngine.Process(mDue.data(), static_cast<int>(mDue.size()), mOut.data(), mPeriod);
    mDue.clear();
    ++mBlocks;
    mFrames += mPeriod;
    const double loudest = CheckModules(false);
    if (Ok() && mRack.SilencedBlocks() != 0) {
        // The rack caught a module block that was not finite and silenced it.
        mFault = mWhat + ", block " + std::to_string(mBlocks) +
                 ": a module's block was not finite (silenced by the rack)";
    }
    if (loudest == loudest) mPeak = std::max(mPeak, std::min(loudest, 1e300));
    return Ok();
}

bool tSoakRig::Blocks(int count) {
    for (int i = 0; i < count; ++i)
        if (!Block()) return false;
    return true;
}

bool tSoakRig::FallsSilent() {
    for (int ch = 0; ch < 16; ++ch) AllNotesOff(ch);
    const long total = 10L * mRate / mPeriod;
    const long quiet = mRate / 2 / mPeriod; // half a second
    long lastSound = -1;
    for (long block = 0; block < total; ++block) {
        if (!Block()) return false;
        if (CheckModules(true) >= kSilence) lastSound = block;
    }
    mSoundingSeconds = static_cast<double>((lastSound + 1) * mPeriod) / mRate;
    if (lastSound < total - quiet) return true;
    mFault = mWhat + ": still sounding 10 s after all notes off";
    return false;
}
