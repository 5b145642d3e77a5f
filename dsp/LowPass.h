// Low passes of order 1 to 4: a first-order section, a second-order section, and the
// cascades first + second order and second + second order. Each starts as type critical
// with resonance factor 1 at 44100 Hz.
#pragma once

#include "dsp/Filter.h"
#include "dsp/FilterDesign.h"
#include "dsp/FilterSections.h"

class tLowPass1 final : public tFilter {
public:
    using tFilter::setCoefficients;
    void setSampleRate(int rate) override;
    void setFrequency(double freq) override;
    void reset() override { mFirst.reset(); }
    double process(double x) override { return mFirst.lowPass(x); }
    void setCoefficients(double g) override { mFirst.setPole(g); }

    int sampleRate() const { return mRate; }
    const tFirstOrderSection& first() const { return mFirst; }

private:
    tFirstOrderSection mFirst;
    int mRate = kDefaultFilterRate;
};

class tLowPass2 final : public tFilter {
public:
    using tFilter::setCoefficients;
    tLowPass2() { setType(kCritical); }
    void setSampleRate(int rate) override;
    void setFrequency(double freq) override;
    void setResonance(double setting) override;
    void reset() override { mSecond.reset(); }
    double process(double x) override { return mSecond.lowPass(x); }
    void setType(int type) override;
    void setCoefficients(double a, double b) override { mSecond.setPoles(a, b); }

    int sampleRate() const { return mRate; }
    const tSecondOrderSection& second() const { return mSecond; }

private:
    tSecondOrderSection mSecond;
    int mRate = kDefaultFilterRate;
};

class tLowPass3 final : public tFilter {
public:
    using tFilter::setCoefficients;
    tLowPass3() { setType(kCritical); }
    void setSampleRate(int rate) override;
    void setFrequency(double freq) override;
    void setResonance(double setting) override;
    void reset() override {
        mFirst.reset();
        mSecond.reset();
    }
    double process(double x) override { return mSecond.lowPass(mFirst.lowPass(x)); }
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

class tLowPass4 final : public tFilter {
public:
    using tFilter::setCoefficients;
    tLowPass4() { setType(kCritical); }
    void setSampleRate(int rate) override;
    void setFrequency(double freq) override;
    void setResonance(double setting) override;
    void reset() override {
        mFirst.reset();
        mSecond.reset();
    }
    double process(double x) override { return mSecond.lowPass(mFirst.lowPass(x)); }
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
