// The string synthesizer away from 44100 Hz: every string preset sounds as at 44100 Hz, and
// the voice's guards hold at both ends of the accepted rates.
#include "StringTestUtil.h"

#include "catalog/PresetTexts.h"
#include "common/RateMeasures.h"
#include "dsp/Random.h"
#include "string/LoopSection.h"
#include "string/StringModule.h"
#include "string/StringVoice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

// The largest deviation of one measure over all presets and notes, and where it occurred.
struct tWorst {
    double value = 0.0;
    std::string where;
    void Take(double deviation, const std::string& at) {
        if (std::fabs(deviation) > std::fabs(value)) {
            value = deviation;
            where = at;
        }
    }
};

} // namespace

// Each string preset holds A2, A3 and A4 alone (no effects unit); at 48000 and 96000 Hz each
// note keeps its 44100 Hz fundamental within 1 cent, its 40 dB decay time and the spectral
// centroid of its first 0.5 s within 5 %, its level within 1 dB. The worst figures are printed.
TEST(StringRates, PresetsSoundAsAt44100) {
    const int rates[] = {48000, 96000};
    tWorst worst[2][4];
    for (int preset = 0; preset < kPresetCount; ++preset) {
        if (PresetTable()[preset].string == nullptr) continue;
        for (const int key : {45, 57, 69}) {
            const double hz = 440.0 * std::pow(2.0, (key - 69) / 12.0);
            auto render = [&](int rate) {
                return ratetest::Measure(ratetest::RenderPresetNote(preset, key, rate,
                                                                    ratetest::kHoldSeconds,
                                                                    ratetest::kTailSeconds, true),
                                         rate, hz);
            };
            const ratetest::tNoteMeasures reference = render(44100);
            for (int r = 0; r < 2; ++r) {
                const ratetest::tNoteMeasures m = render(rates[r]);
                const std::string at =
                    std::string(PresetTable()[preset].label) + " key " + std::to_string(key);
                SCOPED_TRACE(at + " at " + std::to_string(rates[r]));
                const double cents = ratetest::Cents(m.fundamental, reference.fundamental);
                const double decay = 100.0 * (m.decay / reference.decay - 1.0);
                const double centroid = 100.0 * (m.centroid / reference.centroid - 1.0);
                const double level = m.rms - reference.rms;
                EXPECT_LT(std::fabs(cents), 1.0);
                EXPECT_LT(std::fabs(decay), 5.0);
                EXPECT_LT(std::fabs(centroid), 5.0);
                EXPECT_LT(std::fabs(level), 1.0);
                worst[r][0].Take(cents, at);
                worst[r][1].Take(decay, at);
                worst[r][2].Take(centroid, at);
                worst[r][3].Take(level, at);
            }
        }
    }
    const char* names[] = {"fundamental (cents)", "40 dB decay (%)", "centroid (%)", "level (dB)"};
    for (int r = 0; r < 2; ++r) {
        for (int i = 0; i < 4; ++i) {
            std::printf("%6d Hz  worst %-20s %+7.3f  %s\n", rates[r], names[i], worst[r][i].value,
                        worst[r][i].where.c_str());
        }
    }
}

// A loop filter away from 44100 Hz loses per pass what it loses there: the same gain at 0 Hz,
// at the lowest frequencies and high in the band, within a fraction of a decibel between.
TEST(StringRates, LoopFilterKeepsItsGainPerPass) {
    for (const double a : {0.07, 0.5, 0.95}) {
        auto gain = [](const tLoopSection& s, double hz, int rate) {
            const double w = 2.0 * M_PI * hz / rate;
            const double re = s.b0 + s.b1 * std::cos(w), im = -s.b1 * std::sin(w);
            const double dre = 1.0 - s.a1 * std::cos(w), dim = s.a1 * std::sin(w);
            return 10.0 * std::log10((re * re + im * im) / (dre * dre + dim * dim));
        };
        tLoopSection reference;
        reference.design(a, 44100);
        EXPECT_EQ(reference.b0, 1.0 - a);
        EXPECT_EQ(reference.b1, 0.0);
        for (const int rate : {48000, 96000, 192000}) {
            tLoopSection s;
            s.design(a, rate);
            for (const double hz : {0.0, 100.0, 1000.0, 4000.0, 10000.0, 16000.0, 20000.0}) {
                EXPECT_NEAR(gain(s, hz, rate), gain(reference, hz, 44100),
                            hz > 16000.0 ? 0.4 : 0.15)
                    << a << " " << rate << " " << hz;
            }
            EXPECT_NEAR(gain(s, 100.0, rate), gain(reference, 100.0, 44100), 1e-3);
        }
    }
}

// At 22050 and 192000 Hz the lowest and highest keys fit the string, and a voice driven to the
// ends of its controls (feedback above 1, the most resonant output filter swung end to end)
// stays bounded and sounds.
TEST(StringRates, VoicesStayBoundedAtTheEndsOfTheRates) {
    for (const int rate : {22050, 192000}) {
        SCOPED_TRACE(rate);
        threadRandom.seed(1);
        tStringModule m(0, 0);
        m.SetSampleRate(rate);
        m.SwitchOn();
        tStringControls& c = m.Controls();
        c.top.midiController.Set(1);
        c.energy.feedback.Set(1.01);
        c.energy.filterOrder.Set(3);
        c.outputFilter.slope.Set(7);
        c.outputFilter.kind.Set(3);
        c.outputFilter.resonance.Set(1.0);
        c.output.silence.Set(10.0);
        m.NoteOn(0, 100);
        // The string spans the period but for the loop filters' delay.
        EXPECT_GT(m.Engine().Slot(0).voice->stringLength(), 0.99 * rate / 8.1758);
        double peak = 0.0;
        bool finite = true;
        for (int b = 0; b < 2000; ++b) {
            if (b % 100 == 0) m.NoteOn(b % 200 == 0 ? 0 : 127, 127);
            if (b % 3 == 0) m.Controller(0, 17, b % 6 == 0 ? 0 : 127);
            for (const double v : stringtest::RenderFrames(m, 128)) {
                finite = finite && std::isfinite(v);
                peak = std::max(peak, std::fabs(v));
            }
        }
        EXPECT_TRUE(finite);
        EXPECT_LE(peak, 1000.0);
        EXPECT_GT(peak, 1.0);
    }
}
