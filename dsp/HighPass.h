// High passes of order 1 to 4, the low pass prototypes under s → 1/s: a first-order section,
// a second-order section, and the cascades first + second and second + second order. Each
// starts as type critical with resonance factor 1 at 44100 Hz.
#pragma once

#include "dsp/Filter.h"
#include "dsp/FilterDesign.h"
#include "dsp/FilterSections.h"

class tHighPass1 final : public tFilter {
public:
    using tFilter::setCoefficients;
    void setSampleRate(int rate) override;
    void setFrequency(double freq) override;
    void reset() override { mFirst.reset(); }
    double process(double x) override { return mFirst.highPass(x); }
    void setCoefficients(double g) override { mFirst.setPole(g); }

    int sampleRate() const { return mRate; }
    const tFirstOrderSection& first() const { return mFirst; }

private:
    tFirstOrderSection mFirst;
    int mRate = kDefaultFilterRate;
};

class tHighPass2 final : public tFilter {
public:
    using tFilter::setCoefficients;
    tHighPass2() { setType(kCritical); }
    void setSampleRate(int rate) override;
    void setFrequency(double freq) override;
    void setResonance(double setting) override;
    void reset() override { mSecond.reset(); }
    double process(double x) override { return mSecond.highPass(x); }
    void setType(int type) override;
    void setCoefficients(double a, double b) override { mSecond.setPoles(a, b); }

    int sampleRate() const { return mRate; }
    const tSecondOrderSection& second() const { return mSecond; }

private:
    tSecondOrderSection mSecond;
    int mRate = kDefaultFilterRate;
};

class tHighPass3 final : public tFilter {
public:
    using tFilter::setCoefficients;
    tHighPass3() { setType(kCritical); }
    void setSampleRate(int rate) override;
    void setFrequency(double freq) override;
    void setResonance(double setting) override;
    void reset() override {
        mFirst.reset();
        mSecond.reset();
    }
    double process(double x) override { return mSecond.highPass(mFirst.highPass(x)); }
    void setType(int type) override;
    void setCoefficients(double g, double a, double b) override {
        mFirst.setPole(g);
        mSecond.setPoles(a, b);
    }

    int sampleRate() const { return mRate; }
    const tFirstOrderSection& first() const { return mFirst; }
    const tSecondOrderSection& second() const { return mSecond; }

private:
    tFirstOrderSection mFirst;
    tSecondOrderSection mSecond;
    int mRate = kDefaultFilterRate;
};

class tHighPass4 final : public tFilter {
public:
    using tFilter::setCoefficients;
    tHighPass4() { setType(kCritical); }
    void setSampleRate(int rate) override;
    void setFrequency(double freq) override;
    void setResonance(double setting) override;
    void reset() override {
        mFirst.reset();
        mSecond.reset();
    }
    double process(double x) override { return mSecond.highPass(mFirst.highPass(x)); }
    void setType(int type) override;
    void setCoefficients(double a1, double b1, double a2, double b2) override {
        mFirst.setPoles(a1, b1);
        mSecond.setPoles(a2, b2);
    }

    int sampleRate() const { return mRate; }
    const tSecondOrderSection& first() const { return mFirst; }
    const tSecondOrderSection& second() const { return mSecond; }

private:
    tSecondOrderSection mFirst;
    tSecondOrderSection mSecond;
    int mRate = kDefaultFilterRate;
};
