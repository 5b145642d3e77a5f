#include "string/StringPatch.h"

#include "string/StringControls.h"

#include <istream>
#include <limits>
#include <ostream>

namespace {

// Reads one value; a value the text lacks (or cannot give) leaves the field as it was.
template <typename T> bool Get(std::istream& in, T& field) {
    T value{};
    if (!(in >> value)) return false;
    field = value;
    return true;
}

void Skip(std::istream& in) {
    double dropped = 0.0;
    in >> dropped;
}

// A slider takes the record's value limited to its range; the record keeps the limited value.
void ToSlider(tControl& control, double& field) {
    field = control.Limit(field);
    control.Set(field);
}

} // namespace

int tStringPatch::Read(std::istream& in) {
    // Fields that older or shorter texts may lack.
    filterAttack = 0.0;
    startFreq = 9.999;
    silence = 0.0;
    modulation = 0;
    offFeedback = 0.0;
    bassBoost = 0;
    amplEnv = 0;
    linVelocity = 0;
    pink = 0;
    envMode = 0;
    fixedTime = 0;
    reserved = 0;
    softDamp = 0.0;
    lfoFrequency = 0.5;
    lfoAmount = 0.0;

    int version = 0;
    if (!(in >> version)) return kVersion;

    Get(in, attack);
    Skip(in); // spare
    Get(in, release);
    Get(in, loopFrequency);
    Get(in, filterOrder);
    Get(in, freqMax);
    Get(in, loopFollow);
    Get(in, outputFrequency);
    Get(in, kind);
    Get(in, volume);
    Get(in, waveAmount);
    Get(in, feedback);
    Get(in, randomFrequency);
    Get(in, randomFollow);
    Get(in, waveType);
    Get(in, dcFilter);
    Get(in, filterAttack);
    Get(in, startFreq);
    Skip(in); // spare
    Get(in, silence);
    Get(in, modulation);
    Get(in, offDelay);
    Get(in, resonance);
    Get(in, outputFollow);
    Get(in, slope);
    Get(in, mute);
    Get(in, amplEnv);
    Get(in, offFeedback);
    Get(in, bassBoost);
    Get(in, envMode);
    Get(in, envRelease);
    Get(in, envSustain);
    Get(in, envSpeed);
    Get(in, envAmount);
    Get(in, fixedTime);
    Get(in, reserved);
    Get(in, softDamp);
    Get(in, lfoFrequency);
    Get(in, lfoAmount);
    if (reserved >= 2) reserved = 1;

    if (version < 15) { // texts of the old units
        envRelease *= 0.0001;
        envSustain *= 0.0001;
        envAmount *= 0.01;
        filterAttack *= 5.0;
        release *= 0.0001;
        attack *= 10.0;
        loopFrequency *= 0.1;
        volume *= 0.01;
        filterOrder -= 1;
        offFeedback *= 0.0001;
        resonance *= 0.01;
        randomFrequency *= 0.1;
        startFreq *= 0.1;
    }
    if (version >= 16) Get(in, pink);
    if (version >= 18) Get(in, linVelocity);
    if (version < 19) {
        midiController = 0;
        autoPan = 0;
    } else {
        Get(in, midiController);
        Get(in, autoPan);
    }
    // The older slope list had no 18 dB entries. (A damaged text's huge value names no entry
    // either way; it is not raised past the largest int.)
    if (version < 17 && slope >= 4 && slope <= std::numeric_limits<int>::max() - 2) slope += 2;
    return version;
}

void tStringPatch::Write(std::ostream& out) const {
    out << kVersion << '\n';
    out << attack << ' ' << 0 << ' ' << release << ' ' << loopFrequency << ' ' << filterOrder << ' '
        << freqMax << ' ' << loopFollow << ' ' << outputFrequency << ' ' << kind << ' ' << volume
        << ' ' << waveAmount << ' ' << feedback << ' ' << randomFrequency << ' ' << randomFollow
        << ' ' << waveType << ' ' << dcFilter << ' ' << filterAttack << ' ' << startFreq << ' ' << 0
        << ' ' << silence << ' ' << modulation << ' ' << offDelay << ' ' << resonance << ' '
        << outputFollow << ' ' << slope << ' ' << mute << ' ' << amplEnv << ' ' << offFeedback
        << ' ' << bassBoost << ' ' << envMode << ' ' << envRelease << ' ' << envSustain << ' '
        << envSpeed << ' ' << envAmount << ' ' << fixedTime << ' ' << reserved << ' ' << softDamp
        << ' ' << lfoFrequency << ' ' << lfoAmount << ' ' << pink << ' ' << linVelocity << ' '
        << midiController << ' ' << autoPan << ' ' << '\n';
}

void tStringPatch::CopyTo(tStringControls& c) {
    auto& e = c.energy;
    auto& f = c.outputFilter;
    auto& v = c.envelope;
    auto& r = c.randomFilter;
    auto& w = c.wave;
    auto& o = c.output;

    ToSlider(o.attack, attack);
    ToSlider(o.release, release);
    ToSlider(e.frequency, loopFrequency);
    e.filterOrder.Set(filterOrder);
    ToSlider(e.freqMax, freqMax);
    e.filterFollows.Set(loopFollow);
    ToSlider(f.frequency, outputFrequency);
    f.kind.Set(kind);
    ToSlider(o.volume, volume);
    ToSlider(w.amplitude, waveAmount);
    ToSlider(e.feedback, feedback);
    ToSlider(r.frequency, randomFrequency);
    r.follows.Set(randomFollow);
    w.type.Set(waveType);
    o.dcFilter.Set(dcFilter);
    ToSlider(e.filterAttack, filterAttack);
    ToSlider(e.startFreq, startFreq);
    ToSlider(o.silence, silence);
    o.modulation.Set(modulation);
    ToSlider(e.offDelay, offDelay);
    ToSlider(f.resonance, resonance);
    f.filterFollows.Set(outputFollow);
    f.slope.Set(slope);
    o.mute.Set(mute);
    o.amplEnv.Set(amplEnv);
    ToSlider(e.offFeedback, offFeedback);
    o.bassBoost.Set(bassBoost);
    v.envMode.Set(envMode);
    ToSlider(v.envRelease, envRelease);
    ToSlider(v.envSustain, envSustain);
    ToSlider(v.envSpeed, envSpeed);
    ToSlider(v.envAmpl, envAmount);
    e.fixedTime.Set(fixedTime);
    e.softDamp.SetRaw(softDamp);
    o.lfoFreq.SetRaw(lfoFrequency);
    o.lfoAmpl.SetRaw(lfoAmount);
    r.pink.Set(pink);
    o.linVelocity.Set(linVelocity);
    c.top.midiController.Set(midiController);
    o.autoPan.Set(autoPan);
}

void tStringPatch::CopyFrom(const tStringControls& c) {
    const auto& e = c.energy;
    const auto& f = c.outputFilter;
    const auto& v = c.envelope;
    const auto& r = c.randomFilter;
    const auto& w = c.wave;
    const auto& o = c.output;

    attack = o.attack.Value();
    release = o.release.Value();
    loopFrequency = e.frequency.Value();
    filterOrder = e.filterOrder.Index();
    freqMax = e.freqMax.Value();
    loopFollow = e.filterFollows.Index();
    outputFrequency = f.frequency.Value();
    kind = f.kind.Index();
    volume = o.volume.Value();
    waveAmount = w.amplitude.Value();
    feedback = e.feedback.Value();
    randomFrequency = r.frequency.Value();
    randomFollow = r.follows.Index();
    waveType = w.type.Index();
    dcFilter = o.dcFilter.Index();
    filterAttack = e.filterAttack.Value();
    startFreq = e.startFreq.Value();
    silence = o.silence.Value();
    modulation = o.modulation.Index();
    offDelay = e.offDelay.Value();
    resonance = f.resonance.Value();
    outputFollow = f.filterFollows.Index();
    slope = f.slope.Index();
    mute = o.mute.Index();
    amplEnv = o.amplEnv.Index();
    offFeedback = e.offFeedback.Value();
    bassBoost = o.bassBoost.Index();
    envMode = v.envMode.Index();
    envRelease = v.envRelease.Value();
    envSustain = v.envSustain.Value();
    envSpeed = v.envSpeed.Value();
    envAmount = v.envAmpl.Value();
    fixedTime = e.fixedTime.Index();
    softDamp = e.softDamp.Value();
    lfoFrequency = o.lfoFreq.Value();
    lfoAmount = o.lfoAmpl.Value();
    pink = r.pink.Index();
    linVelocity = o.linVelocity.Index();
    midiController = c.top.midiController.Index();
    autoPan = o.autoPan.Index();
}
