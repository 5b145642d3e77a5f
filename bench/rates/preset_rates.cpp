// How every built-in preset sounds, whole (the instrument through its effects unit), at other
// sample rates than 44100 Hz: each preset holds A2, A3 and A4 (1.5 s, then 3 s of tail), and
// each note is measured against its own 44100 Hz render: fundamental, the time to fall 40 dB
// (from the level envelope, and from the energy still to come, which reverb echoes cannot
// make jump), spectral centroid of the first 0.5 s, RMS. Prints every note's differences and
// then the worst preset of each measure per rate.
// Usage: kelvora_preset_rates [rate ...] (default 48000 88200 96000).
#include "common/RateMeasures.h"
#include "effects/EffectsRate.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct tWorst {
    double value = 0.0;
    std::string where;
    void Take(double v, const std::string& at) {
        if (std::isfinite(v) && std::fabs(v) >= std::fabs(value)) {
            value = v;
            where = at;
        }
    }
};

struct tMeasures {
    ratetest::tNoteMeasures note;
    double energyDecay = 0.0;
};

tMeasures MeasureNote(int preset, int key, int rate) {
    const std::vector<double> x = ratetest::RenderPresetNote(preset, key, rate);
    const double hz = 440.0 * std::pow(2.0, (key - 69) / 12.0);
    return {ratetest::Measure(x, rate, hz), effectsrate::EnergyDecay40dB(x, rate)};
}

double Percent(double value, double reference) {
    if (std::isinf(value) && std::isinf(reference)) return 0.0;
    return 100.0 * (value / reference - 1.0);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> rates;
    for (int i = 1; i < argc; ++i) rates.push_back(std::atoi(argv[i]));
    if (rates.empty()) rates = {48000, 88200, 96000};
    struct tRow {
        int rate;
        tWorst cents, decay, energy, centroid, rms;
    };
    std::vector<tRow> worst;
    for (int rate : rates) worst.push_back({rate, {}, {}, {}, {}, {}});

    std::printf("%-12s %4s %6s %9s %9s %9s %9s %10s %8s\n", "preset", "key", "rate", "f0 Hz",
                "cents", "decay %", "energy %", "centroid %", "rms dB");
    for (int preset = 0; preset < kPresetCount; ++preset) {
        for (int key : {45, 57, 69}) {
            const tMeasures ref = MeasureNote(preset, key, 44100);
            std::printf("%-12s %4d %6d %9.3f %9s %9.3f %9.3f %10.1f %8.2f\n",
                        PresetTable()[preset].label, key, 44100, ref.note.fundamental, "",
                        ref.note.decay, ref.energyDecay, ref.note.centroid, ref.note.rms);
            for (tRow& row : worst) {
                const tMeasures m = MeasureNote(preset, key, row.rate);
                const double cents = ratetest::Cents(m.note.fundamental, ref.note.fundamental);
                const double decay = Percent(m.note.decay, ref.note.decay);
                const double energy = Percent(m.energyDecay, ref.energyDecay);
                const double centroid = Percent(m.note.centroid, ref.note.centroid);
                const double rms = m.note.rms - ref.note.rms;
                std::printf("%-12s %4d %6d %9.3f %+9.3f %+9.2f %+9.2f %+10.2f %+8.3f\n",
                            PresetTable()[preset].label, key, row.rate, m.note.fundamental, cents,
                            decay, energy, centroid, rms);
                const std::string at =
                    std::string(PresetTable()[preset].label) + " " + std::to_string(key);
                row.cents.Take(cents, at);
                row.decay.Take(decay, at);
                row.energy.Take(energy, at);
                row.centroid.Take(centroid, at);
                row.rms.Take(rms, at);
            }
        }
    }
    std::printf("\nworst per measure (targets: 1 cent, 5 %%, 5 %%, 1 dB)\n");
    for (const tRow& row : worst) {
        std::printf("%6d  pitch     %+8.3f cents (%s)\n", row.rate, row.cents.value,
                    row.cents.where.c_str());
        std::printf("%6d  decay     %+8.2f %%     (%s)\n", row.rate, row.decay.value,
                    row.decay.where.c_str());
        std::printf("%6d  energy    %+8.2f %%     (%s)\n", row.rate, row.energy.value,
                    row.energy.where.c_str());
        std::printf("%6d  centroid  %+8.2f %%     (%s)\n", row.rate, row.centroid.value,
                    row.centroid.where.c_str());
        std::printf("%6d  rms       %+8.3f dB    (%s)\n", row.rate, row.rms.value,
                    row.rms.where.c_str());
    }
    return 0;
}
