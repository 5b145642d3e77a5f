// How closely the effects unit sounds the same at 48000, 88200 and 96000 Hz as at 44100 Hz:
// every built-in preset's effects unit plays A2, A3 and A4 (a harmonic tone held 1.5 s, then
// 3 s of tail), and each unit alone plays the signal its measure needs. For each measure the
// worst case and its figure are printed per rate (with -v every case). Not a test: it prints.
#include "catalog/PresetTexts.h"
#include "effects/Chorus.h"
#include "effects/PMResonator.h"
#include "effects/Resonator.h"

#include "effects/EffectsRate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace effectsrate;

constexpr int kRates[] = {48000, 88200, 96000};
bool gVerbose = false;

// The worst figure of one measure at one rate, and where it was found.
struct tWorst {
    double figure = 0.0;
    std::string where;
    void Take(double value, const std::string& at) {
        if (std::fabs(value) >= std::fabs(figure)) {
            figure = value;
            where = at;
        }
    }
};

struct tMeasureRow {
    const char* name;
    const char* unit;
    double limit;
    tWorst worst[3];
};

// A number as %g prints it.
std::string Text(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

double Percent(double value, double reference) {
    return 100.0 * (value / reference - 1.0);
}

std::vector<std::string> PresetEffects(std::vector<std::string>& labels) {
    std::vector<std::string> texts;
    for (int p = 0; p < kPresetCount; ++p) {
        if (PresetTable()[p].effects == nullptr) continue;
        texts.push_back(PresetTable()[p].effects);
        labels.push_back(PresetTable()[p].label);
    }
    return texts;
}

} // namespace

int main(int argc, char** argv) {
    gVerbose = argc > 1 && std::strcmp(argv[1], "-v") == 0;
    tMeasureRow rows[] = {
        {"preset: fundamental", "cent", 1.0, {}}, {"preset: 40 dB decay", "%", 5.0, {}},
        {"preset: centroid", "%", 5.0, {}},       {"preset: RMS", "dB", 1.0, {}},
        {"reverb: 40 dB decay", "%", 5.0, {}},    {"reverb: centroid", "%", 5.0, {}},
        {"delay: echo time", "%", 0.1, {}},       {"chorus: tap delay", "%depth", 1.0, {}},
        {"chorus: centroid", "%", 5.0, {}},       {"PM resonator: pitch", "cent", 1.0, {}},
        {"PM resonator: RMS", "dB", 1.0, {}},     {"resonator: band pitch", "cent", 1.0, {}},
        {"resonator: RMS", "dB", 1.0, {}},        {"filter: centroid", "%", 5.0, {}},
    };
    auto take = [&](int row, int r, double value, const std::string& at) {
        if (gVerbose)
            std::printf("%-24s %6d  %-40s %+9.4f %s\n", rows[row].name, kRates[r], at.c_str(),
                        value, rows[row].unit);
        rows[row].worst[r].Take(value, at);
    };

    // Every preset's effects unit on a harmonic note.
    std::vector<std::string> labels;
    const std::vector<std::string> texts = PresetEffects(labels);
    for (std::size_t p = 0; p < texts.size(); ++p) {
        for (const auto& [key, hz] : {std::pair{"A2", 110.0}, {"A3", 220.0}, {"A4", 440.0}}) {
            auto play = [&](int rate) {
                tEngine engine(rate, texts[p]);
                return engine.Play(Note(Harmonic(hz), rate, 1.5, 4.5));
            };
            const std::vector<double> reference = play(kReferenceRate);
            const ratetest::tNoteMeasures m0 = ratetest::Measure(reference, kReferenceRate, hz);
            for (int r = 0; r < 3; ++r) {
                const std::vector<double> y = play(kRates[r]);
                const ratetest::tNoteMeasures m = ratetest::Measure(y, kRates[r], hz);
                const std::string at = labels[p] + " " + key;
                take(0, r, ratetest::Cents(m.fundamental, m0.fundamental), at);
                take(1, r,
                     Percent(EnergyDecay40dB(y, kRates[r]),
                             EnergyDecay40dB(reference, kReferenceRate)),
                     at);
                take(2, r, Percent(m.centroid, m0.centroid), at);
                take(3, r, m.rms - m0.rms, at);
            }
        }
    }

    // The reverb types at a few settings, on a 50 ms noise burst.
    for (int type = 0; type < 4; ++type) {
        for (double setting : {0.5, 1.5, 3.0}) {
            auto play = [&](int rate) {
                tEngine engine(rate, "", Alone([&](tEffectsControls& c) {
                                   c.reverb.on.Set(1);
                                   c.reverb.type.Set(type);
                                   c.reverb.damping.Set(std::max(setting, 0.5));
                                   c.reverb.roomSize.Set(setting);
                               }));
                return engine.Play(Click(Noise(), rate, 0.0, 0.05, 6.0));
            };
            const std::vector<double> reference = play(kReferenceRate);
            const double d0 = EnergyDecay40dB(reference, kReferenceRate);
            const double c0 = ratetest::SpectralCentroid(reference, kReferenceRate, 2.0);
            for (int r = 0; r < 3; ++r) {
                const std::vector<double> y = play(kRates[r]);
                const std::string at = "type " + std::to_string(type) + " setting " + Text(setting);
                take(4, r, Percent(EnergyDecay40dB(y, kRates[r]), d0), at);
                take(5, r, Percent(ratetest::SpectralCentroid(y, kRates[r], 2.0), c0), at);
            }
        }
    }

    // The delay's echo of a 5 ms click, at its shortest, default and longest time.
    for (double ms : {50.0, 200.0, 525.0, 1000.0}) {
        auto echo = [&](int rate) {
            tEngine engine(rate, "", Alone([&](tEffectsControls& c) {
                               c.delay.on.Set(1);
                               c.delay.time.Set(ms);
                               c.delay.feedback.Set(0.0);
                           }));
            const std::vector<double> click = Click(Noise(), rate, 0.01, 0.005, 1.2);
            return EchoTime(click, engine.Play(click), rate, 0.02, 1.1);
        };
        const double e0 = echo(kReferenceRate);
        for (int r = 0; r < 3; ++r) take(6, r, Percent(echo(kRates[r]), e0), Text(ms) + " ms");
    }

    // The chorus: each tap's delay every tenth of a second for two seconds, and the centroid of
    // a tone.
    for (const auto& [frequency, width] : {std::pair{18.0, 20.0}, {55.0, 100.0}, {0.0, 1024.0}}) {
        auto delays = [&](int rate, std::vector<double>& centroid) {
            tEngine engine(rate, "", Alone([&](tEffectsControls& c) {
                               c.chorus.on.Set(1);
                               c.chorus.frequency.Set(frequency);
                               c.chorus.width.Set(width);
                           }));
            const std::vector<double> tone = Note(Harmonic(220.0), rate, 2.0, 2.0, 100.0);
            std::vector<double> out(tone.size());
            std::vector<double> taps;
            const auto* chorus = static_cast<const tChorus*>(engine.effects.Unit(5));
            // Blocks of up to 128 frames, ending exactly at every tenth of a second.
            std::size_t at = 0;
            for (int tenth = 1; tenth <= 20; ++tenth) {
                const std::size_t end = static_cast<std::size_t>(tenth) * rate / 10;
                while (at < end) {
                    const int n = static_cast<int>(std::min<std::size_t>(128, end - at));
                    std::copy(tone.begin() + at, tone.begin() + at + n, engine.effects.Buffer());
                    engine.effects.Render(n);
                    std::copy(engine.effects.Buffer(), engine.effects.Buffer() + n,
                              out.begin() + at);
                    at += n;
                }
                for (int k = 0; k < tChorus::kTaps; ++k)
                    taps.push_back(1000.0 * chorus->distance(k) / rate);
            }
            centroid.push_back(ratetest::SpectralCentroid(out, rate, 2.0));
            return taps;
        };
        std::vector<double> c0;
        const std::vector<double> t0 = delays(kReferenceRate, c0);
        for (int r = 0; r < 3; ++r) {
            std::vector<double> c;
            const std::vector<double> t = delays(kRates[r], c);
            // The largest difference of a tap's delay, against the sweep's depth.
            const double depth = 1000.0 * 16.0 * width / kReferenceRate;
            double worst = 0.0;
            for (std::size_t i = 0; i < std::min(t.size(), t0.size()); ++i)
                if (std::fabs(t[i] - t0[i]) > std::fabs(worst)) worst = t[i] - t0[i];
            worst = 100.0 * worst / depth;
            const std::string at = "frequency " + Text(frequency) + " width " + Text(width);
            take(7, r, worst, at);
            take(8, r, Percent(c[0], c0[0]), at);
        }
    }

    // The PM resonator of every preset that has one, "efx only", driven by noise.
    for (std::size_t p = 0; p < texts.size(); ++p) {
        std::istringstream in(texts[p]);
        std::string line;
        for (int i = 0; i < 5; ++i) std::getline(in, line);
        auto play = [&](int rate) {
            tEngine engine(rate, texts[p], Alone([](tEffectsControls& c) {
                               c.pmResonator.on.Set(1);
                               c.pmResonator.efxOnly.Set(1);
                           }));
            return engine.Play(Note(Noise(0.2), rate, 1.0, 1.0, 100.0));
        };
        const double hz =
            tPMResonator::FrequencyFor(std::stod(line.substr(0, line.find(' '))) / 1000.0);
        const std::vector<double> reference = play(kReferenceRate);
        const double f0 = ratetest::Fundamental(reference, kReferenceRate, 0.5, hz);
        for (int r = 0; r < 3; ++r) {
            const std::vector<double> y = play(kRates[r]);
            const std::string at = labels[p] + " (" + Text(hz) + " Hz)";
            take(9, r, ratetest::Cents(ratetest::Fundamental(y, kRates[r], 0.5, f0), f0), at);
            take(10, r, ratetest::RmsDb(y) - ratetest::RmsDb(reference), at);
        }
    }

    // Each resonator band alone, at its own and at the doubled frequency, rings after a click.
    for (int band = 0; band < tResonator::kBands; ++band) {
        for (int x2 = 0; x2 < 2; ++x2) {
            auto play = [&](int rate) {
                tEngine engine(rate, "", Alone([&](tEffectsControls& c) {
                                   c.resonator.on.Set(1);
                                   c.resonator.frequencyX2.Set(x2);
                                   for (int k = 0; k < tResonator::kBands; ++k)
                                       c.resonator.bands[k].Set(k == band ? 2.0 : 0.0);
                               }));
                return engine.Play(Click(Noise(), rate, 0.0, 0.002, 0.5));
            };
            const std::vector<double> reference = play(kReferenceRate);
            const double f0 = RingFrequency(reference, kReferenceRate, 0.01, 0.2);
            for (int r = 0; r < 3; ++r) {
                const std::vector<double> y = play(kRates[r]);
                const std::string at = "band " + std::to_string(band) + (x2 ? " x2" : "");
                take(11, r, ratetest::Cents(RingFrequency(y, kRates[r], 0.01, 0.2), f0), at);
                take(12, r, ratetest::RmsDb(y) - ratetest::RmsDb(reference), at);
            }
        }
    }

    // The universal filter swept by its LFO, on a harmonic tone.
    for (int mode = 0; mode < 3; ++mode) {
        auto play = [&](int rate) {
            tEngine engine(rate, "", Alone([&](tEffectsControls& c) {
                               c.filter.on.Set(1);
                               c.filter.mode.Set(mode);
                               c.filter.order.Set(3);
                               c.filter.resonance.Set(0.5);
                               c.filter.frequency.Set(0.6);
                               c.filter.modDepth.Set(1.5);
                           }));
            return engine.Play(Note(Harmonic(110.0), rate, 2.0, 2.0, 100.0));
        };
        const double c0 = ratetest::SpectralCentroid(play(kReferenceRate), kReferenceRate, 2.0);
        for (int r = 0; r < 3; ++r)
            take(13, r, Percent(ratetest::SpectralCentroid(play(kRates[r]), kRates[r], 2.0), c0),
                 "mode " + std::to_string(mode));
    }

    std::printf("%-24s %-6s %-7s", "measure", "unit", "limit");
    for (int rate : kRates) std::printf("  %-36d", rate);
    std::printf("\n");
    for (const tMeasureRow& row : rows) {
        std::printf("%-24s %-6s %-7g", row.name, row.unit, row.limit);
        for (const tWorst& worst : row.worst)
            std::printf("  %+9.4f %-26.26s", worst.figure, worst.where.c_str());
        std::printf("\n");
    }
    return 0;
}
