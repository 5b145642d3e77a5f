// Low and high passes of order 1 to 4: a first-order section, a second-order section, and the
// cascades first + second order and second + second order. The high passes are the low pass
// prototypes under s → 1/s; a response policy supplies what differs between the two kinds
// (cutoff clamping, resonance law, section design and processing). Each filter starts as
// type critical with resonance factor 1 at 44100 Hz.
#pragma once

#include "dsp/Filter.h"
#include "dsp/FilterDesign.h"
#include "dsp/FilterSections.h"

struct tLowResponse {
    static double clamp(double freq, int rate) { return clampLowPassFrequency(freq, rate); }
    static double resonance(double setting) { return lowPassResonance(setting); }
    template <class tSection> static void design(tSection& section, double k) {
        section.designLowPass(k);
    }
    template <class tSection> static double run(tSection& section, double x) {
        return section.lowPass(x);
    }
};

struct tHighResponse {
    static double clamp(double freq, int rate) { return clampHighPassFrequency(freq, rate); }
    static double resonance(double setting) { return highPassResonance(setting); }
    template <class tSection> static void design(tSection& section, double k) {
        section.designHighPass(k);
    }
    template <class tSection> static double run(tSection& section, double x) {
        return section.highPass(x);
    }
};

template <class tResponse> class tPassFilter1 final : public tFilter {
public:
    using tFilter::setCoefficients;
    void setSampleRate(int rate) override { storeFilterRate(mRate, rate); }
    void setFrequency(double freq) override {
        tResponse::design(mFirst, prewarp(tResponse::clamp(freq, mRate), mRate));
    }
    void reset() override { mFirst.reset(); }
    double process(double x) override { return tResponse::run(mFirst, x); }
    void setCoefficients(double g) override { mFirst.setPole(g); }

    int sampleRate() const { return mRate; }
    const tFirstOrderSection& first() const { return mFirst; }

private:
    tFirstOrderSection mFirst;
    int mRate = kDefaultFilterRate;
};

template <class tResponse> class tPassFilter2 final : public tFilter {
public:
    using tFilter::setCoefficients;
    tPassFilter2() { setType(kCritical); }
    void setSampleRate(int rate) override { storeFilterRate(mRate, rate); }
    void setFrequency(double freq) override {
        tResponse::design(mSecond, prewarp(tResponse::clamp(freq, mRate), mRate));
    }
    void setResonance(double setting) override {
        mSecond.setResonance(tResponse::resonance(setting));
    }
    void reset() override { mSecond.reset(); }
    double process(double x) override { return tResponse::run(mSecond, x); }
    void setType(int type) override {
        const tFilterPoles& poles = filterPoles(type);
        mSecond.setPoles(poles.a2, poles.b2);
    }
    void setCoefficients(double a, double b) override { mSecond.setPoles(a, b); }

    int sampleRate() const { return mRate; }
    const tSecondOrderSection& second() const { return mSecond; }

private:
    tSecondOrderSection mSecond;
    int mRate = kDefaultFilterRate;
};

template <class tResponse> class tPassFilter3 final : public tFilter {
public:
    using tFilter::setCoefficients;
    tPassFilter3() { setType(kCritical); }
    void setSampleRate(int rate) override { storeFilterRate(mRate, rate); }
    void setFrequency(double freq) override {
        // Both sections share the clamped cutoff and its pre-warping.
        const double k = prewarp(tResponse::clamp(freq, mRate), mRate);
        tResponse::design(mFirst, k);
        tResponse::design(mSecond, k);
    }
    void setResonance(double setting) override {
        mSecond.setResonance(tResponse::resonance(setting));
    }
    void reset() override {
        mFirst.reset();
        mSecond.reset();
    }
    double process(double x) override { return tResponse::run(mSecond, tResponse::run(mFirst, x)); }
    void setType(int type) override {
        const tFilterPoles& poles = filterPoles(type);
        mFirst.setPole(poles.g3);
        mSecond.setPoles(poles.a3, poles.b3);
    }
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

template <class tResponse> class tPassFilter4 final : public tFilter {
public:
    using tFilter::setCoefficients;
    tPassFilter4() { setType(kCritical); }
    void setSampleRate(int rate) override { storeFilterRate(mRate, rate); }
    void setFrequency(double freq) override {
        const double k = prewarp(tResponse::clamp(freq, mRate), mRate);
        tResponse::design(mFirst, k);
        tResponse::design(mSecond, k);
    }
    void setResonance(double setting) override {
        const double r = tResponse::resonance(setting);
        mFirst.setResonance(r);
        mSecond.setResonance(r);
    }
    void reset() override {
        mFirst.reset();
        mSecond.reset();
    }
    double process(double x) override { return tResponse::run(mSecond, tResponse::run(mFirst, x)); }
    void setType(int type) override {
        const tFilterPoles& poles = filterPoles(type);
        mFirst.setPoles(poles.a41, poles.b41);
        mSecond.setPoles(poles.a42, poles.b42);
    }
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
