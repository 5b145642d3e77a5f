#include "effects/EffectsControls.h"

std::vector<tControl*> tEffectsControls::All() {
    std::vector<tControl*> all = {
        &top.outputVolume,
        &top.allEffectsOff,
        &top.meter,
        &top.meterOn,
        &filter.frequency,
        &filter.resonance,
        &filter.volume,
        &filter.type,
        &filter.mode,
        &filter.order,
        &filter.on,
        &filter.modFreq,
        &filter.modDepth,
        &distortion.level,
        &distortion.volume,
        &distortion.on,
        &distortion.softMode,
        &pmResonator.feed,
        &pmResonator.feedFreq,
        &pmResonator.intensity,
        &pmResonator.efxVolume,
        &pmResonator.resoMode,
        &pmResonator.frequency,
        &pmResonator.scaleX20,
        &pmResonator.on,
        &pmResonator.efxOnly,
        &chorus.frequency,
        &chorus.volume,
        &chorus.on,
        &chorus.width,
        &reverb.damping,
        &reverb.volume,
        &reverb.on,
        &reverb.type,
        &reverb.width,
        &reverb.roomSize,
        &delay.time,
        &delay.volume,
        &delay.on,
        &delay.feedback,
        &delay.pingPong,
        &resonator.volume,
    };
    for (tControl& band : resonator.bands) all.push_back(&band);
    all.push_back(&resonator.frequencyX2);
    all.push_back(&resonator.on);
    all.push_back(&resonator.stereo);
    return all;
}
