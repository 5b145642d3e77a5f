#include "string/StringSynth.h"

#include "core/KeyFrequency.h"
#include "core/Path.h"
#include "dsp/Random.h"
#include "dsp/SampleRate.h"
#include "dsp/SoftCeiling.h"
#include "string/StringVoice.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <istream>
#include <ostream>
#include <utility>

namespace {

const char kTitleText[] = "KV String Synthesizer";

// Voice counts above these enable the sustain pedal and make note off pass sustained voices.
constexpr int kSustainVoiceCount = 19;
constexpr int kSustainNoteOffCount = 23;

std::atomic<bool> sleeping{true};

// A slider's value limited to the slider's range, as the window would give it; a value that is
// no number gives the slider's minimum.
double InRange(const tControl& control) {
    const double value = control.Limit(control.Value());
    return std::isnan(value) ? std::min(control.Minimum(), control.Maximum()) : value;
}

} // namespace

tStringSynth::tStringSynth() : mTitle(kTitleText), mVoices(new tStringVoice[kVoiceSlots]) {
    // The fade voices are built without drawing from the noise: the notes' noise stays what it
    // is without them.
    const tRandom noise = threadRandom;
    mSpareVoices.reset(new tStringVoice[kFadeVoices]);
    threadRandom = noise;
    mPatch.CopyTo(mControls);
    KeyFrequencies();
    for (int i = 0; i < kVoiceSlots; ++i) {
        mVoices[i].setSampleRate(mRate);
        mVoices[i].reset();
        mSlots[i].voice = &mVoices[i];
    }
    for (int i = 0; i < kFadeVoices; ++i) {
        mSpareVoices[i].setSampleRate(mRate);
        mFades[i].voice = &mSpareVoices[i];
    }
    ResetControllers();
}

tStringSynth::~tStringSynth() = default;

void tStringSynth::SwitchOn() {
    ResetVoices();
    mOn = 1;
}

void tStringSynth::SwitchOff() {
    ResetVoices();
    mOn = 0;
}

void tStringSynth::SetChannel(int channel) {
    mControls.top.midiChannel.Set(channel - 1);
    mMidiChannel = channel - 1;
    ResetVoices();
}

void tStringSynth::SetChannels(int n) {
    mChannels = n == 2 ? 2 : 1;
}

void tStringSynth::SetSampleRate(int rate) {
    mRate = std::clamp(rate, kMinSampleRate, kMaxSampleRate);
    for (int i = 0; i < kVoiceSlots; ++i) mVoices[i].setSampleRate(mRate);
    for (int i = 0; i < kFadeVoices; ++i) mSpareVoices[i].setSampleRate(mRate);
    mFadeLength = std::max(1, static_cast<int>(std::lround(kFadeSeconds * mRate)));
    mOwnBudget.SetSampleRate(mRate);
    ResetVoices();
    mOwnBudget.Refill(128);
}

void tStringSynth::UseBudget(tWorkBudget* budget) {
    mBudget = budget != nullptr ? budget : &mOwnBudget;
    ResetVoices();
}

void tStringSynth::ResetVoices() {
    for (tVoiceSlot& slot : mSlots) {
        slot.voice->reset();
        slot.key = -1;
        slot.sustained = 0;
    }
    for (tFade& fade : mFades) {
        fade.voice->reset();
        fade.left = 0;
    }
    mPreparingCount = 0;
    mAgeCounter = 0;
    ResetControllers();
}

void tStringSynth::ResetControllers() {
    mVolumeScale = 1.0;
    mBendFactor = 1.0;
    ReleaseSustain(GetPolyphony());
}

void tStringSynth::ReleaseSustain(int count) {
    for (int i = 0; i < count; ++i) {
        tVoiceSlot& slot = mSlots[i];
        if (slot.sustained == 0) continue;
        Release(slot);
    }
}

void tStringSynth::Release(tVoiceSlot& slot) {
    slot.voice->noteOff();
    slot.key = -1;
    slot.sustained = 0; // released now: the pedal must not release it a second time
    slot.released = mAgeCounter++;
}

double tStringSynth::VoiceVolume() const {
    double volume = std::exp(mControls.output.volume.Value() / 3.0) - 1.0;
    if (mControls.output.mute.IsOn()) volume *= 0.2;
    return volume * mVolumeScale;
}

void tStringSynth::NoteOn(int key, int velocity) {
    if (mOn == 0 || key < 0 || key > 127) return;
    mBudget->Take(kNoteOnUnits);
    const int count = GetPolyphony();

    // A repeated key releases its voice and sounds again on another one.
    for (int i = 0; i < count; ++i) {
        tVoiceSlot& slot = mSlots[i];
        if (slot.key == key && IsBusy(slot)) {
            Release(slot);
            break;
        }
    }
    for (int i = 0; i < count; ++i) {
        if (!IsBusy(mSlots[i])) {
            StartNote(mSlots[i], key, velocity);
            return;
        }
    }
    tVoiceSlot* victim = Victim(count);
    if (victim == nullptr) return;
    Silence(*victim);
    StartNote(*victim, key, velocity);
}

tStringSynth::tVoiceSlot* tStringSynth::Victim(int count) {
    tVoiceSlot* releasing = nullptr;
    tVoiceSlot* held = nullptr;
    for (int i = 0; i < count; ++i) {
        tVoiceSlot& slot = mSlots[i];
        if (!IsBusy(slot)) continue;
        if (slot.key == -1) {
            if (releasing == nullptr || slot.released < releasing->released) releasing = &slot;
        } else if (held == nullptr || slot.age < held->age) {
            held = &slot;
        }
    }
    return releasing != nullptr ? releasing : held;
}

void tStringSynth::Silence(tVoiceSlot& slot) {
    Unqueue(slot.voice);
    if (slot.voice->isSounding()) {
        // A free fade voice, else the one nearest its end, which stops a little early.
        tFade* fade = &mFades[0];
        for (tFade& f : mFades) {
            if (f.left < fade->left) fade = &f;
        }
        fade->voice->reset();
        std::swap(fade->voice, slot.voice);
        fade->left = mFadeLength;
    }
    slot.voice->reset();
    slot.key = -1;
    slot.sustained = 0;
}

int tStringSynth::Fading() const {
    int n = 0;
    for (const tFade& fade : mFades) n += fade.left > 0;
    return n;
}

void tStringSynth::StartNote(tVoiceSlot& slot, int key, int velocity) {
    mAllIdle = false;
    slot.key = key;
    slot.age = mAgeCounter++;

    const tStringControls& c = mControls;
    tStringVoice& v = *slot.voice;
    const double vel = velocity;

    v.setEnvMode(c.envelope.envMode.Index());
    v.setBassBoost(c.output.bassBoost.Index());
    if (c.output.linVelocity.IsOn()) {
        v.setVelocity(vel / 127.0);
    } else {
        v.setVelocity((std::exp(vel / 127.0) - 1.0) * 0.5819767063474098);
    }
    v.setVolume(VoiceVolume());
    v.setWaveAmount(c.wave.amplitude.Value());
    v.setOrder(c.energy.filterOrder.Index() + 1);
    v.setLoopFrequency(c.energy.frequency.Value() * 10.0);
    v.setLoopMax(c.energy.freqMax.Value());
    v.setFixedTime(c.energy.fixedTime.Index());
    v.setOutputSlope(c.outputFilter.slope.Index());
    v.setOutputKind(c.outputFilter.kind.Index());
    v.setResonance(c.outputFilter.resonance.Value() * 10.0 + 1.0);
    v.setFollow(c.outputFilter.filterFollows.Index());
    v.setCutoff(c.outputFilter.frequency.Value() * mBendFactor, 0);
    v.setLfoFrequency(c.output.lfoFreq.Value());
    // "LFO ampl." comes from a patch without limiting; the sound takes it within its slider's
    // range, so that the tremolo cannot grow without bound.
    v.setLfoAmount((std::exp(InRange(c.output.lfoAmpl)) - 1.0) * 0.2);
    v.setAmplEnv(c.output.amplEnv.Index());
    v.setEnvelope(std::exp(static_cast<int>(100.0 * c.envelope.envAmpl.Value()) / 300.0) - 1.0,
                  c.envelope.envSpeed.Value(),
                  static_cast<int>(10000.0 * c.envelope.envRelease.Value()),
                  static_cast<int>(10000.0 * c.envelope.envSustain.Value()));
    v.setRandomFollow(c.randomFilter.follows.Index());
    v.setPink(c.randomFilter.pink.Index());
    const double h = c.randomFilter.frequency.Value() * 10.0;
    v.setRandomFrequency(h + (vel - 64.0) * 0.00625 * h);
    v.setModulation(c.output.modulation.Index());
    v.setFilterAttack(c.energy.filterAttack.Value() * 0.2);
    v.setStartFrequency(c.energy.startFreq.Value() * 10.0);
    // "soft damp." comes from a patch without limiting; a damaged value is kept within the
    // range of an int before it is truncated.
    const double softDampValue = c.energy.softDamp.Value();
    const int softDamp =
        std::isfinite(softDampValue) ? static_cast<int>(std::clamp(softDampValue, -1e6, 1e6)) : 0;
    v.setSoftDamp(softDamp != 0 ? 21 - softDamp : 0);
    v.setFeedback(c.energy.feedback.Value());
    v.setOffDelay(c.energy.offDelay.Value());
    v.setOffFeedback(c.energy.offFeedback.Value());
    v.setLoopFollow(c.energy.filterFollows.Index());
    v.setDcFilter(c.output.dcFilter.Index());
    v.setWaveType(c.wave.type.Index());
    v.setSilence(static_cast<int>(c.output.silence.Value()));
    v.setRelease(static_cast<int>(c.output.release.Value() * 40000.0 * rateScale(mRate)));
    v.startNote(KeyFrequency(key), c.output.attack.Value() * 0.1 + 0.1, key);
    Unqueue(&v);
    mTickets[mPreparingCount] = mBudget->NextTicket();
    mPreparing[mPreparingCount++] = &v;
    if (mBudget == &mOwnBudget) PrepareVoices();
}

bool tStringSynth::IsBusy(const tVoiceSlot& slot) {
    return slot.voice->isSounding() || slot.voice->isPreparing();
}

void tStringSynth::PrepareVoices() {
    while (mPreparingCount > 0) {
        if (!PrepareWaitingNote()) return; // the budget is spent
    }
}

std::uint64_t tStringSynth::WaitingNote() const {
    return mPreparingCount > 0 ? mTickets[0] : tWorkBudget::kNoTicket;
}

bool tStringSynth::PrepareWaitingNote() {
    if (mPreparingCount == 0) return true;
    tStringVoice* voice = mPreparing[0];
    mBudget->Take(voice->prepare(std::max(mBudget->Left(), 0)));
    if (voice->isPreparing()) return false;
    Unqueue(voice);
    return true;
}

void tStringSynth::Unqueue(const tStringVoice* voice) {
    int kept = 0;
    for (int i = 0; i < mPreparingCount; ++i) {
        if (mPreparing[i] == voice) continue;
        mPreparing[kept] = mPreparing[i];
        mTickets[kept++] = mTickets[i];
    }
    mPreparingCount = kept;
}

void tStringSynth::NoteOff(int key) {
    if (key < 0 || key > 127) return; // -1 marks free slots; it is no key
    const int count = GetPolyphony();
    for (int i = 0; i < count; ++i) {
        tVoiceSlot& slot = mSlots[i];
        if (slot.key != key) continue;
        if (count > kSustainNoteOffCount && slot.sustained != 0) continue;
        Release(slot);
        return;
    }
}

void tStringSynth::Controller(int channel, int number, int value) {
    if (channel != mMidiChannel) return;
    const double v = value;
    switch (number) {
    case -1: { // pitch bend
        const double x = (value - 8192) / 8192.0;
        mBendFactor = x <= 0.0 ? 1.0 + 0.66 * x : 1.0 + 2.0 * x;
        return;
    }
    case 7:
        mVolumeScale = v / 127.0;
        return;
    case 64: {
        const int count = GetPolyphony();
        if (count <= kSustainVoiceCount) return;
        if (value >= 64) {
            for (int i = 0; i < count; ++i) {
                tVoiceSlot& slot = mSlots[i];
                if (slot.key != -1 && IsBusy(slot)) slot.sustained = 1;
            }
        } else {
            ReleaseSustain(count);
        }
        return;
    }
    case 121:
        ResetControllers();
        return;
    default:
        break;
    }

    if (!mControls.top.midiController.IsOn()) return;
    tStringControls& c = mControls;
    switch (number) {
    case 1:
        c.output.lfoAmpl.Set(std::max(0.0, v / 127.0 - 0.06));
        break;
    case 2:
        c.randomFilter.frequency.Set(0.05 + v * 0.007480314960629921);
        break;
    case 11:
        c.energy.frequency.Set((1.0 + v * 0.07086614173228346) * 0.1);
        break;
    case 12:
        c.energy.filterOrder.Set(3 * value / 127);
        break;
    case 13:
        c.energy.feedback.Set(0.61 + v * 0.0031496062992125984);
        break;
    case 14:
        c.energy.softDamp.Set(20 * value / 127);
        break;
    case 15:
        c.wave.amplitude.Set(v / 127.0);
        break;
    case 16:
        c.wave.type.Set(11 * value / 127);
        break;
    case 17:
        // The controller's law reaches below the slider's lowest value: written as it comes.
        c.outputFilter.frequency.SetRaw(0.05 + v * 0.07834645669291339);
        break;
    case 18:
        c.outputFilter.resonance.Set(v / 127.0);
        break;
    case 19:
        c.outputFilter.kind.Set(4 * value / 127);
        break;
    case 20:
        c.outputFilter.slope.Set(7 * value / 127);
        break;
    case 21:
        c.output.attack.Set(static_cast<int>(v * 0.7874015748031495));
        break;
    case 22:
        c.envelope.envMode.Set(7 * value / 127);
        break;
    case 23:
        c.envelope.envAmpl.Set(5.0 * v / 127.0);
        break;
    case 24:
        c.envelope.envSpeed.Set(v / 127.0);
        break;
    case 25:
        c.envelope.envSustain.Set(v / 127.0);
        break;
    case 26:
        c.envelope.envRelease.Set(v / 127.0);
        break;
    default:
        break;
    }
}

void tStringSynth::SetSleeping(bool on) {
    sleeping.store(on, std::memory_order_relaxed);
}

bool tStringSynth::Sleeping() {
    return sleeping.load(std::memory_order_relaxed);
}

double tStringSynth::LoudestVolume() const {
    return std::exp(mControls.output.volume.Maximum() / 3.0) - 1.0;
}

void tStringSynth::Render(int frames) {
    frames = std::clamp(frames, 0, kBufferSize / mChannels);
    if (mOn == 0) {
        mHasSound = 0;
        mAgeCounter = 0;
        if (mBudget == &mOwnBudget) mOwnBudget.Refill(frames);
        return;
    }
    const int count = GetPolyphony();
    // Voices above a lowered voice count fall silent and free: none keeps a key to sound
    // again when the count is raised.
    // New notes take only voices below the count, so this is needed once it is lowered.
    for (int i = count; i < mSilentFrom; ++i) {
        if (mSlots[i].key != -1 || IsBusy(mSlots[i])) Silence(mSlots[i]);
    }
    mSilentFrom = count;
    // Notes struck before this block go on preparing; those done sound from its start.
    PrepareVoices();
    if (mAllIdle) { // nothing to look at until a note starts
        mHasSound = 0;
        mAgeCounter = 0;
        if (mBudget == &mOwnBudget) mOwnBudget.Refill(frames);
        return;
    }
    const bool sleep = Sleeping();
    // Read once the first voice needs them.
    bool refreshed = false;
    double volume = 0.0, resonance = 0.0, cutoff = 0.0, loudest = 0.0;
    bool autoPan = false;

    // The voices awake, in the order they are mixed, and their places in the stereo field.
    tStringVoice* awake[kVoiceSlots];
    double lefts[kVoiceSlots];
    double rights[kVoiceSlots];
    int awakeCount = 0;
    bool busy = false;
    for (int i = 0; i < count; ++i) {
        tStringVoice& voice = *mSlots[i].voice;
        if (!voice.isSounding()) continue;
        busy = true;
        if (voice.isAsleep()) {
            voice.skip(frames);
            continue;
        }
        if (!refreshed) {
            refreshed = true;
            volume = VoiceVolume();
            resonance = mControls.outputFilter.resonance.Value() * 10.0 + 1.0;
            cutoff = mControls.outputFilter.frequency.Value() * mBendFactor;
            autoPan = mChannels == 2 && mControls.output.autoPan.IsOn();
            loudest = LoudestVolume();
        }
        voice.setVolume(volume);
        voice.setResonance(resonance);
        voice.setCutoff(cutoff, frames);
        double left = 1.0;
        double right = 1.0;
        if (autoPan) {
            const double g = 2.0 * voice.note() / 127.0;
            left = 2.0 - g;
            right = g;
        }
        awake[awakeCount] = &voice;
        lefts[awakeCount] = left;
        rights[awakeCount] = right;
        ++awakeCount;
    }
    // Two at a time where they can go side by side; the sum is the same.
    bool first = true;
    for (int i = 0; i < awakeCount; i += 2) {
        if (i + 1 < awakeCount) {
            tStringVoice::renderPair(*awake[i], lefts[i], rights[i], *awake[i + 1], lefts[i + 1],
                                     rights[i + 1], mOutput, frames, mChannels, !first);
        } else {
            awake[i]->render(mOutput, frames, mChannels, lefts[i], rights[i], !first);
        }
        first = false;
    }
    if (sleep) {
        for (int i = 0; i < awakeCount; ++i) awake[i]->sleepIfSilent(loudest);
    }
    if (RenderFades(frames, first, busy)) first = false;
    // The module's output never passes the ceiling, however its sliders are set.
    if (!first) tSoftCeiling::apply(mOutput, frames * mChannels);
    mHasSound = first ? 0 : 1;
    // Sleeping voices still hold their notes: the ages go on.
    if (!busy && mPreparingCount == 0) mAgeCounter = 0; // preparing notes keep their order
    mAllIdle = !busy && mPreparingCount == 0;
    // On its own the module's next events and preparation share a budget as long as this
    // block; a rack grants its budget itself.
    if (mBudget == &mOwnBudget) mOwnBudget.Refill(frames);
}

bool tStringSynth::RenderFades(int frames, bool first, bool& busy) {
    bool wrote = false;
    for (tFade& fade : mFades) {
        if (fade.left == 0) continue;
        busy = true;
        tStringVoice& voice = *fade.voice;
        const int n = std::min(frames, fade.left);
        if (voice.isAsleep()) {
            voice.skip(n);
        } else {
            voice.render(mFadeBuffer, n, 1, 1.0, 1.0, false);
            double left = 1.0;
            double right = 1.0;
            if (mChannels == 2 && mControls.output.autoPan.IsOn()) {
                const double g = 2.0 * voice.note() / 127.0;
                left = 2.0 - g;
                right = g;
            }
            // The gain falls in straight steps from 1 to 0 over the fade.
            const double step = 1.0 / mFadeLength;
            for (int i = 0; i < frames; ++i) {
                const double x = i < n ? mFadeBuffer[i] * (fade.left - i) * step : 0.0;
                if (mChannels == 1) {
                    mOutput[i] = first ? x : mOutput[i] + x;
                } else {
                    mOutput[2 * i] = first ? left * x : mOutput[2 * i] + left * x;
                    mOutput[2 * i + 1] = first ? right * x : mOutput[2 * i + 1] + right * x;
                }
            }
            first = false;
            wrote = true;
        }
        fade.left = voice.isSounding() ? fade.left - n : 0;
        if (fade.left == 0) voice.reset();
    }
    return wrote;
}

void tStringSynth::SetTitleName(const std::string& name) {
    mTitle = std::string(kTitleText) + "   (" + name + ")";
}

void tStringSynth::ReadPatch(const char* name, std::istream& in) {
    if (name != nullptr) SetTitleName(BaseName(name));
    mPatch.Read(in);
    mPatch.CopyTo(mControls);
}

void tStringSynth::WritePatch(std::ostream& out) {
    mPatch.CopyFrom(mControls);
    mPatch.Write(out);
}
