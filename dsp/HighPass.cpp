#include "dsp/HighPass.h"

void tHighPass1::setSampleRate(int rate) {
    storeFilterRate(mRate, rate);
}

void tHighPass1::setFrequency(double freq) {
    mFirst.designHighPass(prewarp(clampHighPassFrequency(freq, mRate), mRate));
}

void tHighPass2::setSampleRate(int rate) {
    storeFilterRate(mRate, rate);
}

void tHighPass2::setFrequency(double freq) {
    mSecond.designHighPass(prewarp(clampHighPassFrequency(freq, mRate), mRate));
}

void tHighPass2::setResonance(double setting) {
    mSecond.setResonance(highPassResonance(setting));
}

void tHighPass2::setType(int type) {
    const tFilterPoles& poles = filterPoles(type);
    mSecond.setPoles(poles.a2, poles.b2);
}

void tHighPass3::setSampleRate(int rate) {
    storeFilterRate(mRate, rate);
}

void tHighPass3::setFrequency(double freq) {
    const double k = prewarp(clampHighPassFrequency(freq, mRate), mRate);
    mFirst.designHighPass(k);
    mSecond.designHighPass(k);
}

void tHighPass3::setResonance(double setting) {
    mSecond.setResonance(highPassResonance(setting));
}

void tHighPass3::setType(int type) {
    const tFilterPoles& poles = filterPoles(type);
    mFirst.setPole(poles.g3);
    mSecond.setPoles(poles.a3, poles.b3);
}

void tHighPass4::setSampleRate(int rate) {
    storeFilterRate(mRate, rate);
}

void tHighPass4::setFrequency(double freq) {
    const double k = prewarp(clampHighPassFrequency(freq, mRate), mRate);
    mFirst.designHighPass(k);
    mSecond.designHighPass(k);
}

void tHighPass4::setResonance(double setting) {
    const double r = highPassResonance(setting);
    mFirst.setResonance(r);
    mSecond.setResonance(r);
}

void tHighPass4::setType(int type) {
    const tFilterPoles& poles = filterPoles(type);
    mFirst.setPoles(poles.a41, poles.b41);
    mSecond.setPoles(poles.a42, poles.b42);
}
