#include "effects/Reverb.h"

#include <algorithm>

namespace {
// Maps the end value of the slider law, f(3) = e - 1, to 1.
constexpr double kUnitScale = 0.58197;
} // namespace

tReverb::tReverb(tEffectsControls& controls) : tEffectUnit(controls), mGroup(controls.reverb) {}

int tReverb::SimpleLengthFor(double damping) {
    // 540..3824 over the slider's range; a damping from a patch text beyond it is held
    // inside the lines' capacity.
    return ClampedInt(SliderLaw(damping) * 2137.0 + 153.0, 0, tSimpleReverb::kCapacityBase);
}

void tReverb::setSampleRate(int rate) {
    if (rate == mRate) return;
    tEffectUnit::setSampleRate(rate);
    mLeft.setSampleRate(rate);
    mRight.setSampleRate(rate);
    mComb.setSampleRate(rate);
    // The simple reverbs' lines take their lengths for the rate at the next reset or update.
    mLastLength = 1;
}

void tReverb::getParams(int* out) const {
    out[0] = PatchInt(mGroup.type);
    out[1] = PatchInt(mGroup.damping, 100.0);
    out[2] = PatchInt(mGroup.volume, 100.0);
    out[3] = PatchInt(mGroup.on);
    out[4] = PatchInt(mGroup.roomSize, 100.0);
    out[5] = PatchInt(mGroup.width, 100.0);
    out[6] = -1;
}

void tReverb::setParams(const int* in) {
    const tRecord record(in);
    record.apply(0, mGroup.type);
    record.apply(1, mGroup.damping, 100.0);
    record.apply(2, mGroup.volume, 100.0);
    record.apply(3, mGroup.on);
    if (record.has(0)) mType = record[0];
    // A record shorter than four values is damaged: the rest stays as it was.
    if (record.count() < 4) return;
    if (record.has(4))
        record.apply(4, mGroup.roomSize, 100.0);
    else
        mGroup.roomSize.SetRaw(2.55);
    if (record.has(5))
        record.apply(5, mGroup.width, 100.0);
    else
        mGroup.width.SetRaw(2.6);
}

void tReverb::update() {
    mType = mGroup.type.Index();
    if (mType == 0) {
        const int length = SimpleLengthFor(mGroup.damping.Value());
        if (length != mLastLength) {
            mLastLength = length;
            mLeft.setLength(length);
            mRight.setLength(length);
        }
        const double mix = SliderLaw(SliderValue(mGroup.volume));
        mLeft.setMix(mix);
        mRight.setMix(mix);
        return;
    }
    // A type beyond the list (from a patch) asks for more or fewer combs than there are; the
    // count is limited to 4..8 either way.
    const int numCombs = 2 * std::clamp(mType, 1, 3) + 2;
    const double width = SliderLaw(SliderValue(mGroup.width)) * kUnitScale;
    // Room size and damping from a patch text beyond their sliders would give the combs a
    // loop gain above 1: the coefficients take the sliders' ranges, the stored values stay.
    const double room = SliderLaw(SliderValue(mGroup.roomSize)) * kUnitScale;
    const double damp = 1.0 - SliderValue(mGroup.damping) / 3.0;
    const double wet = SliderLaw(SliderValue(mGroup.volume)) * 0.35;
    if (width == mComb.widthSetting() && room == mComb.roomSizeSetting() &&
        wet == mComb.wetSetting() && numCombs == mComb.numCombs() && damp == mComb.dampSetting())
        return;
    mComb.setNumCombs(numCombs);
    mComb.setDamp(damp);
    mComb.setWidth(width);
    mComb.setRoomSize(room);
    mComb.setWet(wet);
    mComb.recompute();
}

void tReverb::reset() {
    mLastLength = SimpleLengthFor(mGroup.damping.Value());
    const double mix = SliderLaw(SliderValue(mGroup.volume));
    for (tSimpleReverb* simple : {&mLeft, &mRight}) {
        simple->setLength(mLastLength);
        simple->clear();
        simple->setMix(mix);
    }
    mComb.recompute();
}

void tReverb::clear() {
    reset();
    mLeft.clear();
    mRight.clear();
    mComb.clearMemory();
}

void tReverb::process(double* buf, int count) {
    if (mType == 0) {
        if (mChannels == 1) {
            mLeft.prepareRun(count);
            for (int i = 0; i < count; ++i) buf[i] = mLeft.step(buf[i]);
            return;
        }
        mLeft.prepareRun(count / 2);
        mRight.prepareRun(count / 2);
        tSimpleReverb::processStereo(mLeft, mRight, buf, count / 2);
        return;
    }
    if (mChannels == 1)
        mComb.processMono(buf, count);
    else
        mComb.processStereo(buf, count / 2);
}

bool tReverb::quiet(double level) const {
    // The engine the type runs, on the channels in use; the other keeps its memory unheard.
    if (mType == 0) return mLeft.quiet(level) && (mChannels == 1 || mRight.quiet(level));
    return mComb.quiet(mChannels == 1 ? 1 : 2, level);
}
