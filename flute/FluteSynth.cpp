#include "flute/FluteSynth.h"

#include "core/KeyFrequency.h"
#include "core/Path.h"

#include <algorithm>
#include <cmath>
#include <sstream>

tFluteSynth::tFluteSynth(int x, int y) : tSlot(kFluteModule, x, y, false) {
    KeyFrequencies(); // the shared table is built by the first instrument
    mPatch.Apply(mControls);
    SetName(nullptr);
    SwitchOff();
}

tFluteSynth::~tFluteSynth() = default;

double tFluteSynth::VelocityFactor(int velocity) {
    return (std::exp(velocity * 0.007874015748031496) - 1.0) * 0.5819767063474098;
}

// --- switching and channel --------------------------------------------------------------

void tFluteSynth::SilenceVoices() {
    mVoices[0].silence();
    mVoices[1].silence();
    std::fill(mTail, mTail + mTailLength, 0.0);
    mTailLength = 0;
}

void tFluteSynth::ReleaseHeld() {
    mVoices[mCurrent].release();
    mHeldKey = -1;
}

void tFluteSynth::ResetControllers() {
    mVolumeFactor = 1.0;
    mBendFactor = 1.0;
    ReleaseHeld();
}

void tFluteSynth::SwitchOn() {
    SilenceVoices();
    ResetControllers();
    mHeldKey = -1;
    mVoices[0].clearState();
    mVoices[1].clearState();
    mControls.play.Set(1);
    tSlot::SwitchOn();
}

void tFluteSynth::SwitchOff() {
    mControls.play.Set(0);
    SilenceVoices();
    ResetControllers();
    mHeldKey = -1;
    tSlot::SwitchOff();
}

void tFluteSynth::SetChannel(int channel) {
    tSlot::SetChannel(channel);
    mControls.midiChannel.Set(channel - 1);
    AllNotesOff();
}

void tFluteSynth::SetChannels(int n) {
    mChannels = n == 2 ? 2 : 1;
}

void tFluteSynth::SetSampleRate(int rate) {
    tSlot::SetSampleRate(rate);
    for (tFluteVoice& voice : mVoices) voice.setSampleRate(rate);
    SilenceVoices();
}

// --- patches ----------------------------------------------------------------------------

void tFluteSynth::Retitle(const std::string& shown) {
    mTitle = std::string(kTitle) + "   (" + shown + ")";
}

void tFluteSynth::ReadPatch(const char* name, std::istream& in) {
    SetName(name);
    mPatch.Read(in);
    mPatch.Apply(mControls);
    Retitle(name != nullptr ? name : "");
}

void tFluteSynth::WritePatch(std::ostream& out) {
    mPatch.Capture(mControls);
    mPatch.Write(out);
}

void tFluteSynth::NamedAfterFile(const std::string& path) {
    Retitle(BaseName(path));
    SetName(path.c_str());
}

void tFluteSynth::Reset() {
    SilenceVoices();
    ResetControllers();
    mVoices[0].clearDelays();
    mVoices[1].clearDelays();
}

// --- events -----------------------------------------------------------------------------

void tFluteSynth::AllNotesOff() {
    SilenceVoices();
    ResetControllers();
    mHeldKey = -1;
}

void tFluteSynth::NoteOn(int key, int velocity) {
    if (!IsOn() || key < 0 || key > 127) return;
    Budget().Take(kNoteOnUnits);
    mHeldKey = key;
    mVoices[mCurrent].release();
    mCurrent ^= 1;
    tFluteVoice& voice = mVoices[mCurrent];
    // A voice that has sounded and is still fading plays its release out from the tail.
    if (voice.isSounding() && voice.count() > 0 && voice.samplesLeft() > 0) FinishIntoTail(voice);
    StartNote(voice, key, VelocityFactor(velocity));
}

void tFluteSynth::FinishIntoTail(tFluteVoice& voice) {
    const int n = std::min(voice.samplesLeft(), kTailSize);
    Budget().Take(n * kTailSampleUnits);
    voice.processBlock(mScratch, n);
    for (int i = 0; i < n; ++i) mTail[i] += mScratch[i];
    mTailLength = std::max(mTailLength, n);
}

void tFluteSynth::NoteOff(int key) {
    if (key != mHeldKey) return;
    ReleaseHeld();
}

void tFluteSynth::Controller(int channel, int number, int value) {
    if (channel != GetChannel()) return;
    tFluteControls& c = mControls;
    switch (number) {
    case 7:
        mVolumeFactor = value * 0.007874015748031496;
        return;
    case 64:
        if (value < 64) ReleaseHeld();
        return;
    case 121:
        ResetControllers();
        return;
    case -1: { // pitch bend, 8192 = centre
        const double x = (value - 8192) / 8192.0;
        mBendFactor = x <= 0.0 ? 1.0 - 0.6 * x : 1.0 - 0.8 * x;
        return;
    }
    default:
        break;
    }
    if (number < 1 || number > 24 || !c.midiController.IsOn()) return;
    // The values the controller table gives are stored as they are, like a widget that is
    // moved by the program rather than dragged.
    switch (number) {
    case 1:
        c.pressure.amplitude.SetRaw(value / 127.0);
        break;
    case 2:
    case 19:
        c.pressure.pressure.SetRaw(value / 127.0);
        break;
    case 11:
        c.oscillator.frequency.SetRaw(0.05 + value * 0.007480314960629921);
        break;
    case 12:
        c.oscillator.embroSize.SetRaw(0.01 + value * 0.005433070866141732);
        break;
    case 13:
        c.oscillator.boreScale.SetRaw(1 + value * 9 / 127);
        break;
    case 14:
        c.oscillator.feedEmb.SetRaw(value / 127.0);
        break;
    case 15:
        c.oscillator.feedBore.SetRaw(value / 127.0);
        break;
    case 16:
        c.breath.amplitude.SetRaw(value / 127.0);
        break;
    case 17:
        c.breath.attack.SetRaw(value * 20 / 127);
        break;
    case 18:
        c.breath.attackAmplitude.SetRaw(0.1 + value * 0.007086614173228346);
        break;
    case 20:
        c.pressure.attack.SetRaw(value * 20 / 127);
        break;
    case 21:
        c.pressure.tremoloFreq.SetRaw(0.5 + value * 0.03543307086614173);
        break;
    case 22:
        c.outputFilter.frequency.SetRaw(0.05 + value * 0.07834645669291339);
        break;
    case 23:
        c.outputFilter.resonance.SetRaw(value / 127.0);
        break;
    case 24:
        c.outputFilter.type.Set(value * 4 / 127);
        break;
    default:
        break;
    }
}

// --- parameters -------------------------------------------------------------------------

double tFluteSynth::Level() const {
    // A patch text may hold a volume no slider reaches; the gain stays within the slider's.
    const tControl& volume = mControls.outputControl.volume;
    double level = std::exp(volume.Limit(volume.Value()) / 3.0) - 1.0;
    if (mControls.outputControl.mute.IsOn()) level *= 0.2;
    return level * mVolumeFactor;
}

void tFluteSynth::StartNote(tFluteVoice& voice, int key, double v) {
    const tFluteControls& c = mControls;
    const double resonance = c.outputFilter.resonance.Value() * 10.0 + 1.0;
    voice.setVelocity(v);
    voice.setLevel(Level());
    voice.setPressure(c.pressure.pressure.Value() * 0.9090909090909091 * (1.0 + 0.6 * v));
    voice.setBreathLevel(c.breath.amplitude.Value() * 0.05 * (1.0 + v));
    voice.setBreathAttack(c.breath.attack.Value() * 10.0);
    voice.setBreathBoost(c.breath.attackAmplitude.Value());
    voice.setBreathFilter(c.breath.frequency.Value() * 10.0 * (1.0 - 0.4 * v));
    voice.setBreathMode(c.breath.followNote.Index());
    voice.setTremoloRate(c.pressure.tremoloFreq.Value());
    voice.setTremoloDepth(c.pressure.amplitude.Value() * 0.05);
    voice.setScale(c.oscillator.scale100.IsOn() ? 100 : 1);
    voice.setJetRatio(c.oscillator.embroSize.Value() * mBendFactor, 0);
    voice.setLoopFilter(c.oscillator.frequency.Value() * 10.0);
    voice.setLoopCeiling(c.oscillator.freqMax.Value());
    voice.setLoopMode(c.oscillator.followNote.Index());
    voice.setLoopOrder(c.oscillator.filterOrder.Index());
    voice.setFeedEmb(c.oscillator.feedEmb.Value());
    voice.setFeedBore(c.oscillator.feedBore.Value());
    voice.setModel(c.oscillator.type.Index());
    voice.setFilterOn(c.outputFilter.onOff.Index());
    voice.setFilterType(c.outputFilter.type.Index());
    voice.setResonance(resonance);
    voice.setFollowNote(c.outputFilter.followNote.Index());
    // Controller 22 writes 0.05..10 unlimited by the slider; a patch text may hold anything.
    voice.setCutoff(std::clamp(c.outputFilter.frequency.Value(), 0.05, 10.0));
    voice.setResonance(resonance);
    voice.setBoreScale(c.oscillator.boreScale.Value());
    voice.noteOn(KeyFrequency(key), c.pressure.attack.Value() + 1.0, key);
}

void tFluteSynth::ApplyLiveParameters(tFluteVoice& voice, int frames) {
    const tFluteControls& c = mControls;
    const double v = voice.velocity();
    voice.setJetRatio(c.oscillator.embroSize.Value() * mBendFactor, frames);
    voice.setLevel(Level());
    voice.setPressure(c.pressure.pressure.Value() * 0.9090909090909091 * (1.0 + 0.6 * v));
    voice.setBreathLevel(c.breath.amplitude.Value() * 0.05 * (1.0 + v));
    voice.setFeedEmb(c.oscillator.feedEmb.Value());
    voice.setFeedBore(c.oscillator.feedBore.Value());
    voice.setTremoloRate(c.pressure.tremoloFreq.Value());
    voice.setTremoloDepth(c.pressure.amplitude.Value() * 0.05);
    voice.setLoopFilter(c.oscillator.frequency.Value() * 10.0);
    voice.setLoopCeiling(c.oscillator.freqMax.Value());
    voice.setLoopMode(c.oscillator.followNote.Index());
    voice.setResonance(c.outputFilter.resonance.Value() * 10.0 + 1.0);
    voice.setCutoff(std::clamp(c.outputFilter.frequency.Value(), 0.05, 10.0));
}

// --- rendering --------------------------------------------------------------------------

void tFluteSynth::AddVoice(tFluteVoice& voice, int n) {
    voice.processBlock(mScratch, n);
    if (mChannels == 1) {
        for (int i = 0; i < n; ++i) mOutput[i] += mScratch[i];
    } else {
        for (int i = 0; i < n; ++i) {
            mOutput[2 * i] += mScratch[i];
            mOutput[2 * i + 1] += mScratch[i];
        }
    }
}

void tFluteSynth::Render(int frames) {
    frames = std::clamp(frames, 0, kOutputSize / mChannels);
    const int n = frames * mChannels;
    rendered = true;
    tFluteVoice& current = mVoices[mCurrent];
    tFluteVoice& other = mVoices[mCurrent ^ 1];
    if (IsOn()) mActive = current.isSounding() || other.isSounding() || mTailLength > 0;
    if (!IsOn() || !mActive) {
        // Nothing to play: the block is silence, which the output may hold already.
        mAsleep = n <= mZeroed && SleepAllowed();
        if (mAsleep) return;
        std::fill(mOutput, mOutput + n, 0.0);
        mZeroed = std::max(mZeroed, n);
        return;
    }
    mAsleep = false;
    std::fill(mOutput, mOutput + n, 0.0);
    mZeroed = 0;
    if (current.isSounding()) {
        ApplyLiveParameters(current, frames);
        AddVoice(current, frames);
    }
    if (other.isSounding()) AddVoice(other, frames);
    if (mTailLength > 0) {
        const int used = std::min(frames, mTailLength);
        for (int i = 0; i < used; ++i)
            for (int c = 0; c < mChannels; ++c) mOutput[i * mChannels + c] += mTail[i];
        // The rest moves to the front; what it leaves behind is zero again.
        std::copy(mTail + used, mTail + mTailLength, mTail);
        std::fill(mTail + (mTailLength - used), mTail + mTailLength, 0.0);
        mTailLength -= used;
    }
}
