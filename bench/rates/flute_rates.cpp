// How the flute sounds at other sample rates than 44100 Hz: every flute case (the two presets,
// the default patch with each voice type) holding A2, A3 and A4, measured against its own
// 44100 Hz render: fundamental, release time (40 dB below the sustain), spectral centroid of
// the first 0.5 s, RMS. Prints one line per case, note and rate (the 44100 Hz line in Hz, ms,
// Hz and dB, the others as differences), then the worst case of each measure per rate.
// Usage: kelvora_flute_rates [rate ...] (default 48000 88200 96000).
#include "flute/FluteRates.h"

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
        if (std::fabs(v) >= std::fabs(value)) {
            value = v;
            where = at;
        }
    }
};

double Percent(double value, double reference) {
    return 100.0 * (value / reference - 1.0);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> rates;
    for (int i = 1; i < argc; ++i) rates.push_back(std::atoi(argv[i]));
    if (rates.empty()) rates = {48000, 88200, 96000};

    struct tRow {
        int rate;
        tWorst cents, decay, centroid, rms;
    };
    std::vector<tRow> worst;
    for (int rate : rates) worst.push_back({rate, {}, {}, {}, {}});

    std::printf("%-17s %4s %6s %9s %9s %9s %10s %8s\n", "case", "key", "rate", "f0 Hz", "cents",
                "release %", "centroid %", "rms dB");
    for (const flutetest::tRateCase& c : flutetest::kRateCases) {
        for (int key : flutetest::kRateKeys) {
            const ratetest::tNoteMeasures ref = flutetest::MeasureCase(c, key, 44100);
            std::printf("%-17s %4d %6d %9.3f %9s %9.3f %10.1f %8.2f\n", c.name, key, 44100,
                        ref.fundamental, "", 1000.0 * ref.decay, ref.centroid, ref.rms);
            for (tRow& row : worst) {
                const ratetest::tNoteMeasures m = flutetest::MeasureCase(c, key, row.rate);
                const double cents = ratetest::Cents(m.fundamental, ref.fundamental);
                const double decay = Percent(m.decay, ref.decay);
                const double centroid = Percent(m.centroid, ref.centroid);
                const double rms = m.rms - ref.rms;
                std::printf("%-17s %4d %6d %9.3f %+9.3f %+9.2f %+10.2f %+8.3f\n", c.name, key,
                            row.rate, m.fundamental, cents, decay, centroid, rms);
                const std::string at = std::string(c.name) + " key " + std::to_string(key);
                row.cents.Take(cents, at);
                row.decay.Take(decay, at);
                row.centroid.Take(centroid, at);
                row.rms.Take(rms, at);
            }
        }
    }
    std::printf("\nworst per measure (target: 1 cent, 5 %%, 5 %%, 1 dB)\n");
    for (const tRow& row : worst) {
        std::printf("%6d  pitch %+7.3f cents (%s)\n", row.rate, row.cents.value,
                    row.cents.where.c_str());
        std::printf("%6d  release %+7.2f %%   (%s)\n", row.rate, row.decay.value,
                    row.decay.where.c_str());
        std::printf("%6d  centroid %+7.2f %%  (%s)\n", row.rate, row.centroid.value,
                    row.centroid.where.c_str());
        std::printf("%6d  rms %+7.3f dB      (%s)\n", row.rate, row.rms.value,
                    row.rms.where.c_str());
    }
    return 0;
}
