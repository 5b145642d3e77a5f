#include "dsp/BandPass.h"

void tBandPass2::setFrequency(double freq) {
    mSection.designBandPass(prewarp(clampBandPassFrequency(freq, mRate), mRate));
}

void tBandPass2::setResonance(double setting) {
    mSection.setQuality(bandPassQuality(setting));
}
