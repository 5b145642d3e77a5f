#include "dsp/LowPass.h"

void tLowPass1::setSampleRate(int rate) {
    storeFilterRate(mRate, rate);
}

void tLowPass1::setFrequency(double freq) {
    mFirst.designLowPass(prewarp(clampLowPassFrequency(freq, mRate), mRate));
}

void tLowPass2::setSampleRate(int rate) {
    storeFilterRate(mRate, rate);
}

void tLowPass2::setFrequency(double freq) {
    mSecond.designLowPass(prewarp(clampLowPassFrequency(freq, mRate), mRate));
}

void tLowPass2::setResonance(double setting) {
    mSecond.setResonance(lowPassResonance(setting));
}

void tLowPass2::setType(int type) {
    const tFilterPoles& poles = filterPoles(type);
    mSecond.setPoles(poles.a2, poles.b2);
}

void tLowPass3::setSampleRate(int rate) {
    storeFilterRate(mRate, rate);
}

void tLowPass3::setFrequency(double freq) {
    const double k = prewarp(clampLowPassFrequency(freq, mRate), mRate);
    mFirst.designLowPass(k);
    mSecond.designLowPass(k);
}

void tLowPass3::setResonance(double setting) {
    mSecond.setResonance(lowPassResonance(setting));
}

void tLowPass3::setType(int type) {
    const tFilterPoles& poles = filterPoles(type);
    mFirst.setPole(poles.g3);
    mSecond.setPoles(poles.a3, poles.b3);
}

void tLowPass4::setSampleRate(int rate) {
    storeFilterRate(mRate, rate);
}

void tLowPass4::setFrequency(double freq) {
    const double k = prewarp(clampLowPassFrequency(freq, mRate), mRate);
    mFirst.designLowPass(k);
    mSecond.designLowPass(k);
}

void tLowPass4::setResonance(double setting) {
    const double r = lowPassResonance(setting);
    mFirst.setResonance(r);
    mSecond.setResonance(r);
}

void tLowPass4::setType(int type) {
    const tFilterPoles& poles = filterPoles(type);
    mFirst.setPoles(poles.a41, poles.b41);
    mSecond.setPoles(poles.a42, poles.b42);
}
