#include "effects/Distortion.h"

#include "dsp/LanePair.h"

#include <algorithm>
#include <cmath>

tDistortion::tDistortion(tEffectsControls& controls)
    : tEffectUnit(controls), mGroup(controls.distortion) {
    update();
}

void tDistortion::getParams(int* out) const {
    out[0] = PatchInt(mGroup.volume, 100.0);
    out[1] = PatchInt(mGroup.level, 100.0);
    out[2] = PatchInt(mGroup.softMode);
    out[3] = PatchInt(mGroup.on);
    out[4] = -1;
}

void tDistortion::setParams(const int* in) {
    const tRecord record(in);
    record.apply(0, mGroup.volume, 100.0);
    record.apply(1, mGroup.level, 100.0);
    record.apply(2, mGroup.softMode);
    record.apply(3, mGroup.on);
}

void tDistortion::update() {
    mGain = SliderLaw(SliderValue(mGroup.volume));
    // The level law never goes below 0 from the slider; a level taken from a patch text
    // below the slider's range would give the soft curve the logarithm of a negative
    // number, so it is held at 0 (which leaves the hard curve unchanged).
    mLevel = std::max(SliderLaw(SliderValue(mGroup.level)), 0.0);
    mThreshold = 0.1 * mLevel;
    mK = 100.0 * (mLevel + 0.001);
    mSoftNorm = std::log(1.0 + mK);
}

double tDistortion::hardShape(double x) const {
    const double magnitude = std::fabs(x);
    if (magnitude <= mThreshold) return x;
    const double y = 0.0057735 * (std::sqrt(30000.0 * magnitude + 0.25) - 0.5);
    return x >= 0.0 ? y : -y;
}

double tDistortion::softShape(double x) const {
    if (x >= 0.0) return std::log(1.0 + mK * x) / mSoftNorm;
    return -std::log(1.0 - mK * x) / mSoftNorm;
}

void tDistortion::runSoft(double* buf, int count) const {
    const double gain = mGain;
    if (mChannels == 1) {
        for (int i = 0; i < count; ++i) buf[i] = gain * softShape(buf[i]);
        return;
    }
    // Stereo: the first value of each frame is shaped and written to both.
    for (int i = 0; i + 1 < count; i += 2) {
        const double y = gain * softShape(buf[i]);
        buf[i] = y;
        buf[i + 1] = y;
    }
}

tLanePair tDistortion::hardShapes(tLanePair x) const {
    // hardShape on each lane: the curve and its sign computed for both, then chosen.
    const tLanePair magnitude = Magnitude(x);
    const tLanePair curve =
        Broadcast(0.0057735) *
        (SquareRoot(Broadcast(30000.0) * magnitude + Broadcast(0.25)) - Broadcast(0.5));
    const tLanePair shaped = Select(x >= Broadcast(0.0), curve, -curve);
    return Select(magnitude <= Broadcast(mThreshold), x, shaped);
}

void tDistortion::runHard(double* buf, int count) const {
    // Two values at a time: consecutive ones in mono, the first values of two frames in stereo.
    const tLanePair gain = Broadcast(mGain);
    if (mChannels == 1) {
        int i = 0;
        for (; i + 1 < count; i += 2) StorePair(buf + i, gain * hardShapes(LoadPair(buf + i)));
        if (i < count) buf[i] = mGain * hardShape(buf[i]);
        return;
    }
    int i = 0;
    for (; i + 3 < count; i += 4) {
        const tLanePair y = gain * hardShapes(LoadLanes(buf + i, buf + i + 2));
        StorePair(buf + i, Broadcast(y[0]));
        StorePair(buf + i + 2, Broadcast(y[1]));
    }
    if (i + 1 < count) {
        const double y = mGain * hardShape(buf[i]);
        buf[i] = y;
        buf[i + 1] = y;
    }
}

void tDistortion::process(double* buf, int count) {
    if (mGroup.softMode.IsOn())
        runSoft(buf, count);
    else
        runHard(buf, count);
}
