#include "flute/FlutePatch.h"

#include "flute/FluteControls.h"

#include <cmath>
#include <istream>
#include <ostream>

namespace {

// One formatted field; the destination changes only when a number was read.
template <typename T> bool ReadField(std::istream& in, T& field) {
    T value{};
    if (!(in >> value)) return false;
    field = value;
    return true;
}

} // namespace

void tFlutePatch::Capture(const tFluteControls& c) {
    tFluteRecord& m = mMirror;
    m.pressureAttack = c.pressure.attack.Value();
    m.unused2 = 1.0;
    m.unused3 = 1.0;
    m.loopFrequency = c.oscillator.frequency.Value();
    m.freqMax = c.oscillator.freqMax.Value();
    m.loopFollowNote = c.oscillator.followNote.Index();
    m.cutoff = c.outputFilter.frequency.Value();
    m.filterType = c.outputFilter.type.Index();
    m.volume = c.outputControl.volume.Value();
    m.breathAmplitude = c.breath.amplitude.Value();
    m.breathFrequency = c.breath.frequency.Value();
    m.breathFollowNote = c.breath.followNote.Index();
    m.breathAttack = c.breath.attack.Value();
    m.breathAttackAmplitude = c.breath.attackAmplitude.Value();
    m.embroSize = c.oscillator.embroSize.Value();
    m.feedEmb = c.oscillator.feedEmb.Value();
    m.feedBore = c.oscillator.feedBore.Value();
    m.pressure = c.pressure.pressure.Value();
    m.type = c.oscillator.type.Index();
    m.tremoloAmplitude = c.pressure.amplitude.Value();
    m.outputFollowNote = c.outputFilter.followNote.Index();
    m.filterOn = c.outputFilter.onOff.Index();
    m.resonance = c.outputFilter.resonance.Value();
    m.mute = c.outputControl.mute.Index();
    m.scale100 = c.oscillator.scale100.Index();
    m.filterOrder = c.oscillator.filterOrder.Index();
    m.tremoloFreq = c.pressure.tremoloFreq.Value();
    m.boreScale = std::trunc(c.oscillator.boreScale.Value());
    m.midiController = c.midiController.Index();
}

void tFlutePatch::Apply(tFluteControls& c) const {
    const tFluteRecord& m = mMirror;
    c.pressure.attack.SetRaw(m.pressureAttack);
    c.oscillator.frequency.SetRaw(m.loopFrequency);
    c.oscillator.freqMax.SetRaw(m.freqMax);
    c.oscillator.followNote.Set(m.loopFollowNote);
    c.outputFilter.frequency.SetRaw(m.cutoff);
    c.outputFilter.type.Set(m.filterType);
    c.outputControl.volume.SetRaw(m.volume);
    c.breath.amplitude.SetRaw(m.breathAmplitude);
    c.breath.frequency.SetRaw(m.breathFrequency);
    c.breath.followNote.Set(m.breathFollowNote);
    c.breath.attack.SetRaw(m.breathAttack);
    c.breath.attackAmplitude.SetRaw(m.breathAttackAmplitude);
    c.oscillator.embroSize.SetRaw(m.embroSize);
    c.oscillator.feedEmb.SetRaw(m.feedEmb);
    c.oscillator.feedBore.SetRaw(m.feedBore);
    c.pressure.pressure.SetRaw(m.pressure);
    c.oscillator.type.Set(m.type);
    c.pressure.amplitude.SetRaw(m.tremoloAmplitude);
    c.outputFilter.followNote.Set(m.outputFollowNote);
    c.outputFilter.onOff.Set(m.filterOn);
    c.outputFilter.resonance.SetRaw(m.resonance);
    c.outputControl.mute.Set(m.mute);
    c.oscillator.scale100.Set(m.scale100);
    c.oscillator.filterOrder.Set(m.filterOrder);
    c.pressure.tremoloFreq.SetRaw(m.tremoloFreq);
    c.oscillator.boreScale.SetRaw(m.boreScale);
    c.midiController.Set(m.midiController);
}

void tFlutePatch::Write(std::ostream& out) const {
    const tFluteRecord& m = mMirror;
    const std::ios_base::fmtflags flags = out.flags();
    const std::streamsize precision = out.precision(6);
    out.unsetf(std::ios_base::floatfield);
    out << kTag << '\n' << kMarker << ' ';
    out << m.pressureAttack << ' ' << m.unused2 << ' ' << m.unused3 << ' ' << m.loopFrequency << ' '
        << m.freqMax << ' ' << m.loopFollowNote << ' ' << m.cutoff << ' ' << m.filterType << ' '
        << m.volume << ' ' << m.breathAmplitude << ' ' << m.breathFrequency << ' '
        << m.breathFollowNote << ' ' << m.breathAttack << ' ' << m.breathAttackAmplitude << ' '
        << m.embroSize << ' ' << m.feedEmb << ' ' << m.feedBore << ' ' << m.pressure << ' '
        << m.type << ' ' << m.tremoloAmplitude << ' ' << m.outputFollowNote << ' ' << m.filterOn
        << ' ' << m.resonance << ' ' << m.mute << ' ' << m.scale100 << ' ' << m.filterOrder << ' '
        << m.tremoloFreq << ' ' << m.boreScale << ' ' << m.midiController << ' ' << '\n';
    out.precision(precision);
    out.flags(flags);
}

void tFlutePatch::Read(std::istream& in) {
    tFluteRecord& m = mMirror;
    // Fields that only hold when the record ends before them.
    m.outputFollowNote = 0;
    m.filterOn = 1;
    m.mute = 0;
    m.resonance = 0.0;

    int tag = 0;
    ReadField(in, tag);
    double first = 0.0;
    bool marked = false;
    if (ReadField(in, first)) {
        // Older records start directly with field 1; newer ones with the version marker.
        marked = first < -1.67;
        if (marked)
            ReadField(in, m.pressureAttack);
        else
            m.pressureAttack = first;
    }
    ReadField(in, m.unused2) && ReadField(in, m.unused3) && ReadField(in, m.loopFrequency) &&
        ReadField(in, m.freqMax) && ReadField(in, m.loopFollowNote) && ReadField(in, m.cutoff) &&
        ReadField(in, m.filterType) && ReadField(in, m.volume) &&
        ReadField(in, m.breathAmplitude) && ReadField(in, m.breathFrequency) &&
        ReadField(in, m.breathFollowNote) && ReadField(in, m.breathAttack) &&
        ReadField(in, m.breathAttackAmplitude) && ReadField(in, m.embroSize) &&
        ReadField(in, m.feedEmb) && ReadField(in, m.feedBore) && ReadField(in, m.pressure) &&
        ReadField(in, m.type) && ReadField(in, m.tremoloAmplitude) &&
        ReadField(in, m.outputFollowNote) && ReadField(in, m.filterOn) &&
        ReadField(in, m.resonance) && ReadField(in, m.mute) && ReadField(in, m.scale100) &&
        ReadField(in, m.filterOrder) && ReadField(in, m.tremoloFreq) && ReadField(in, m.boreScale);
    if (marked)
        ReadField(in, m.midiController);
    else
        m.midiController = 0;
    if (!(m.boreScale >= 1.0 && m.boreScale <= 5.0)) m.boreScale = 1.0;
}
