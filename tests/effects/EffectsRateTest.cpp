// The effects unit sounds the same at 48000 and 96000 Hz as at 44100 Hz: reverb decays and
// colours, echo and chorus times, the resonators' pitches, and every built-in effects unit's
// level, colour and decay, each driven by a signal that is the same sound at every rate.
#include "catalog/PresetTexts.h"
#include "effects/Chorus.h"
#include "effects/PMResonator.h"
#include "effects/Resonator.h"

#include "EffectsRate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <map>
#include <set>

namespace {

using namespace effectsrate;

constexpr int kRates[] = {48000, 96000};

double Ratio(double value, double reference) {
    return value / reference;
}

// Line n (from 1) of a text.
std::string Line(const char* text, int n) {
    std::istringstream in(text);
    std::string line;
    for (int i = 0; i < n; ++i) std::getline(in, line);
    return line;
}

// The amplitude of the component at hz in y over seconds from `from` on (Hann window).
double Amplitude(const std::vector<double>& y, int rate, double hz, double from, double seconds) {
    const std::size_t start = static_cast<std::size_t>(from * rate);
    const std::size_t n = static_cast<std::size_t>(seconds * rate);
    std::complex<double> sum = 0.0;
    for (std::size_t i = 0; i < n; ++i)
        sum += (0.5 - 0.5 * std::cos(2.0 * M_PI * i / n)) * y[start + i] *
               std::polar(1.0, -2.0 * M_PI * hz * static_cast<double>(i) / rate);
    return 2.0 * std::abs(sum) / static_cast<double>(n);
}

// The PM resonator's frequency in an effects text: the first value of its record, line 5.
double PMFrequency(const char* text) {
    return tPMResonator::FrequencyFor(std::stoi(Line(text, 5)) / 1000.0);
}

} // namespace

TEST(EffectsRate, ReverbKeepsItsDecayAndColour) {
    // Every type, short and long: the 40 dB energy decay and the centroid within 5 %.
    for (int type = 0; type < 4; ++type)
        for (double setting : {0.5, 3.0}) {
            if ((type + (setting > 1.0)) % 2 != 0) continue; // two types each
            auto play = [&](int rate) {
                tEngine engine(rate, "", Alone([&](tEffectsControls& c) {
                                   c.reverb.on.Set(1);
                                   c.reverb.type.Set(type);
                                   c.reverb.damping.Set(setting);
                                   c.reverb.roomSize.Set(setting);
                               }));
                return engine.Play(Click(Noise(), rate, 0.0, 0.05, 3.0));
            };
            const std::vector<double> reference = play(kReferenceRate);
            for (const int rate : kRates) {
                const std::vector<double> y = play(rate);
                SCOPED_TRACE(testing::Message()
                             << "type " << type << " setting " << setting << " at " << rate);
                EXPECT_NEAR(Ratio(EnergyDecay40dB(y, rate), EnergyDecay40dB(reference, 44100)), 1.0,
                            0.05);
                EXPECT_NEAR(Ratio(ratetest::SpectralCentroid(y, rate, 2.0),
                                  ratetest::SpectralCentroid(reference, 44100, 2.0)),
                            1.0, 0.05);
            }
        }
}

TEST(EffectsRate, EchoesAndChorusSweepsKeepTheirTimes) {
    // The echo of a click after 50 and 1000 ms, within half a sample at 44100 Hz.
    for (double ms : {50.0, 1000.0}) {
        auto echo = [&](int rate) {
            tEngine engine(rate, "", Alone([&](tEffectsControls& c) {
                               c.delay.on.Set(1);
                               c.delay.time.Set(ms);
                               c.delay.feedback.Set(0.0);
                           }));
            const std::vector<double> click = Click(Noise(), rate, 0.01, 0.005, ms / 1000 + 0.1);
            return EchoTime(click, engine.Play(click), rate, 0.02, ms / 1000 + 0.05);
        };
        const double reference = echo(kReferenceRate);
        EXPECT_NEAR(reference, (std::round(ms * 44.1) - 1) / 44100, 1e-6);
        for (const int rate : kRates) EXPECT_NEAR(echo(rate), reference, 0.5 / 44100) << rate;
    }
    // Each chorus tap's delay every tenth of a second for two seconds, within 1 % of the
    // sweep's depth (the turning points are whole samples), and the tone it colours.
    auto sweep = [](int rate, std::vector<double>& delays) {
        tEngine engine(rate, "", Alone([](tEffectsControls& c) {
                           c.chorus.on.Set(1);
                           c.chorus.frequency.Set(55.0);
                           c.chorus.width.Set(100.0);
                       }));
        const auto& chorus = static_cast<const tChorus&>(*engine.effects.Unit(5));
        const std::vector<double> tone = Note(Harmonic(220.0), rate, 2.0, 2.0, 100.0);
        std::vector<double> out;
        for (int tenth = 1; tenth <= 20; ++tenth) {
            const std::size_t from = out.size();
            const std::size_t to = static_cast<std::size_t>(tenth) * rate / 10;
            const std::vector<double> part(tone.begin() + from, tone.begin() + to);
            const std::vector<double> y = engine.Play(part);
            out.insert(out.end(), y.begin(), y.end());
            for (int k = 0; k < tChorus::kTaps; ++k)
                delays.push_back(1000.0 * chorus.distance(k) / rate);
        }
        return ratetest::SpectralCentroid(out, rate, 2.0);
    };
    std::vector<double> reference;
    const double centroid = sweep(kReferenceRate, reference);
    const double depth = 1000.0 * 1600 / 44100;
    for (const int rate : kRates) {
        std::vector<double> delays;
        EXPECT_NEAR(Ratio(sweep(rate, delays), centroid), 1.0, 0.05) << rate;
        ASSERT_EQ(delays.size(), reference.size());
        for (std::size_t i = 0; i < delays.size(); ++i)
            EXPECT_NEAR(delays[i], reference[i], 0.01 * depth) << rate << " at " << i;
    }
}

TEST(EffectsRate, ResonatorsKeepTheirPitch) {
    // Each band of the resonator rings after a click at its pitch within 1 cent.
    for (int band = 0; band < tResonator::kBands; band += 2) {
        auto ring = [&](int rate) {
            tEngine engine(rate, "", Alone([&](tEffectsControls& c) {
                               c.resonator.on.Set(1);
                               c.resonator.frequencyX2.Set(band == 4);
                               for (int k = 0; k < tResonator::kBands; ++k)
                                   c.resonator.bands[k].Set(k == band ? 2.0 : 0.0);
                           }));
            return RingFrequency(engine.Play(Click(Noise(), rate, 0.0, 0.002, 0.25)), rate, 0.01,
                                 0.2);
        };
        const double reference = ring(kReferenceRate);
        for (const int rate : kRates)
            EXPECT_NEAR(ratetest::Cents(ring(rate), reference), 0.0, 1.0) << band << " " << rate;
    }
    // The PM resonator of every built-in effects unit, driven by noise: its answer to each of
    // the noise's partials from 500 Hz to 10 kHz (those within 20 dB of the strongest) within
    // 0.25 dB of its answer at 44100 Hz, which keeps its resonances and its loop filter's
    // answer up to the top of the band; below 1 kHz its pitch within 1 cent as well (the
    // 1.6 kHz one's autocorrelation pitch wanders by tens of cents over a note).
    std::map<int, std::vector<double>> noise;
    for (const int rate : {44100, kRates[0], kRates[1]})
        noise[rate] = Note(Noise(0.2), rate, 0.8, 0.8, 100.0);
    auto answers = [](const std::vector<double>& y, int rate) {
        std::vector<double> a;
        for (const tPartial& partial : Noise(0.2))
            a.push_back(partial.hz > 500.0 && partial.hz < 10000.0
                            ? Amplitude(y, rate, partial.hz, 0.3, 0.5)
                            : 0.0);
        return a;
    };
    std::set<std::string> records;
    for (int p = 0; p < kPresetCount; ++p) {
        if (PresetTable()[p].effects == nullptr) continue;
        if (!records.insert(Line(PresetTable()[p].effects, 5)).second) continue;
        auto play = [&](int rate) {
            tEngine engine(rate, PresetTable()[p].effects, Alone([](tEffectsControls& c) {
                               c.pmResonator.on.Set(1);
                               c.pmResonator.efxOnly.Set(1);
                           }));
            return engine.Play(noise[rate]);
        };
        const std::vector<double> reference = play(kReferenceRate);
        const double hz = PMFrequency(PresetTable()[p].effects);
        const double pitch = ratetest::Fundamental(reference, 44100, 0.5, hz);
        const std::vector<double> heard = answers(reference, 44100);
        const double strongest = *std::max_element(heard.begin(), heard.end());
        for (const int rate : kRates) {
            SCOPED_TRACE(testing::Message() << PresetTable()[p].label << " at " << rate);
            const std::vector<double> y = play(rate);
            if (hz < 1000.0) {
                EXPECT_NEAR(ratetest::Cents(ratetest::Fundamental(y, rate, 0.5, pitch), pitch), 0.0,
                            1.0);
            }
            EXPECT_NEAR(ratetest::RmsDb(y), ratetest::RmsDb(reference), 1.0);
            // The patch was just read: the second line, still lengthening to the patch's ratio,
            // passes the input on at once for as long in seconds as at 44100 Hz.
            EXPECT_NEAR(ratetest::RmsDb({y.begin(), y.begin() + rate * 15 / 100}),
                        ratetest::RmsDb({reference.begin(), reference.begin() + 44100 * 15 / 100}),
                        1.0);
            const std::vector<double> a = answers(y, rate);
            for (std::size_t k = 0; k < a.size(); ++k) {
                if (heard[k] > 0.1 * strongest) {
                    EXPECT_NEAR(20.0 * std::log10(a[k] / heard[k]), 0.0, 0.25) << k;
                }
            }
        }
    }
}

TEST(EffectsRate, BuiltInEffectsUnitsKeepLevelColourAndDecay) {
    // Every built-in effects unit plays a harmonic A3 held for half a second: level within 1 dB,
    // centroid and 40 dB energy decay within 5 %.
    for (int p = 0; p < kPresetCount; ++p) {
        if (PresetTable()[p].effects == nullptr) continue;
        auto play = [&](int rate) {
            tEngine engine(rate, PresetTable()[p].effects);
            return engine.Play(Note(Harmonic(220.0), rate, 0.5, 2.5));
        };
        const std::vector<double> reference = play(kReferenceRate);
        for (const int rate : kRates) {
            const std::vector<double> y = play(rate);
            SCOPED_TRACE(testing::Message() << PresetTable()[p].label << " at " << rate);
            EXPECT_NEAR(ratetest::RmsDb(y), ratetest::RmsDb(reference), 1.0);
            EXPECT_NEAR(Ratio(ratetest::SpectralCentroid(y, rate),
                              ratetest::SpectralCentroid(reference, 44100)),
                        1.0, 0.05);
            EXPECT_NEAR(Ratio(EnergyDecay40dB(y, rate), EnergyDecay40dB(reference, 44100)), 1.0,
                        0.05);
        }
    }
}
