// One stage of the effects chain. A unit keeps no copy of its user parameters: it reads the
// widgets of its group in update() and converts them into coefficients; getParams and
// setParams move the widget values to and from the integer records of the patch text.
#pragma once

#include "dsp/SampleRate.h"
#include "effects/EffectsControls.h"

#include <algorithm>
#include <cmath>
#include <limits>

class tEffectUnit {
public:
    // Entries of a patch record buffer: at most 19 values and the -1 that ends them.
    static constexpr int kRecordSize = 20;

    explicit tEffectUnit(tEffectsControls& controls) : mControls(controls) {}
    virtual ~tEffectUnit() = default;
    tEffectUnit(const tEffectUnit&) = delete;
    tEffectUnit& operator=(const tEffectUnit&) = delete;

    virtual void setSampleRate(int rate) { mRate = rate; }
    virtual void setChannels(int n) { mChannels = n; }
    // Writes the widget values as integers followed by -1 (at most kRecordSize entries).
    virtual void getParams(int* out) const = 0;
    // Sets the widgets from a record ended by -1, storing the values without range checks.
    virtual void setParams(const int* in) = 0;
    // Reads the widgets and recomputes the coefficients.
    virtual void update() {}
    // Clears the signal state.
    virtual void reset() {}
    // Clears every signal state, delay memories included (reset may leave a tail in them):
    // after clear() the unit sounds as one just constructed and prepared. Large memories are
    // cleared by the blocks that follow, each setting only the entries it is about to read, so
    // that no single block carries the whole clear.
    virtual void clear() { reset(); }
    // Processes count doubles in place (2 x frames, interleaved, in stereo).
    virtual void process(double* buf, int count) = 0;
    virtual bool isOn() const = 0;
    // Sleeping while the input is silent. quiet(level) tells whether every value of the
    // unit's signal state that its output will still depend on (memories as they will be
    // read, filter states, loop values) lies within level of where the state rests, so that
    // leaving the unit unprocessed moves its output by no more than about that. idle(frames)
    // moves on, as that many samples of silence would, what runs whatever the input (sweeps,
    // LFOs, pan phases), without computing any sound.
    virtual bool quiet(double /*level*/) const { return true; }
    virtual void idle(int /*frames*/) {}

    int sampleRate() const { return mRate; }
    int channels() const { return mChannels; }

protected:
    tEffectsControls& mControls;
    int mRate = kReferenceRate;
    int mChannels = 1;
};

// The slider law of the effects: 0 at 0, e - 1 at 3.
inline double SliderLaw(double v) {
    return std::exp(v / 3.0) - 1.0;
}

// A slider's value limited to the slider's range (a patch text may store any value; NaN gives
// the range's low end). For coefficients that would make a loop grow beyond that range.
inline double SliderValue(const tControl& control) {
    const double low = std::min(control.Minimum(), control.Maximum());
    const double high = std::max(control.Minimum(), control.Maximum());
    const double v = control.Value();
    if (!(v >= low)) return low;
    return v > high ? high : v;
}

// The pitch law of the filter and resonator sliders: 2^((1000 v + 50) / 130 - 1).
inline double PitchLaw(double v) {
    return std::pow(2.0, (1000.0 * v + 50.0) / 130.0 - 1.0);
}

// v truncated toward zero to an int inside [lo, hi] (NaN gives lo).
inline int ClampedInt(double v, int lo, int hi) {
    if (!(v >= lo)) return lo;
    if (v > hi) return hi;
    return static_cast<int>(v);
}

// A widget value scaled for the patch text: value x factor, truncated toward zero. A product
// that misses a whole number only by the rounding of binary fractions (1.13 x 100 gives
// 112.99999999999999) is that whole number, so that a value read from a patch text is written
// back unchanged however often the patch is saved.
inline int PatchInt(const tControl& control, double factor = 1.0) {
    double scaled = control.Value() * factor;
    const double whole = std::round(scaled);
    if (std::fabs(scaled - whole) < 1e-7) scaled = whole;
    return ClampedInt(scaled, std::numeric_limits<int>::min() + 1, std::numeric_limits<int>::max());
}

// A record as the patch reader hands it over: values up to the first -1.
class tRecord {
public:
    explicit tRecord(const int* values) : mValues(values) {
        while (mCount < tEffectUnit::kRecordSize - 1 && values[mCount] != -1) ++mCount;
    }
    int count() const { return mCount; }
    bool has(int i) const { return i < mCount; }
    int operator[](int i) const { return i < mCount ? mValues[i] : -1; }
    // Stores value i / divisor into the control when the record holds it.
    void apply(int i, tControl& control, double divisor = 1.0) const {
        if (has(i)) control.SetRaw(mValues[i] / divisor);
    }

private:
    const int* mValues;
    int mCount = 0;
};
