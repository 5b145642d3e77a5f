// The effects chain at the ends of what patch texts and input can give it: every loop stays
// bounded, the PM resonator falls silent once its input stops, and no value that is not a
// number latches in a unit.
#include "app/PresetTexts.h"
#include "effects/EffectUnit.h"
#include "effects/Effects.h"
#include "effects/EffectsPatch.h"
#include "effects/PMResonator.h"

#include "TestSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kFrames = 128;
constexpr int kBlocksPerSecond = 44100 / kFrames;

// An effects engine reading the given patch text, prepared and switched on, in stereo.
struct tEngine {
    tEffects effects;
    explicit tEngine(const std::string& text) {
        std::istringstream in(text);
        ReadEffectsPatch(effects, in);
        effects.SetChannels(2);
        effects.Prepare();
        effects.SwitchOn();
    }
    // One block of the given input (the same value in both channels); returns its peak
    // (infinity when a value is not a number).
    double block(const std::vector<double>& input) {
        double* buf = effects.Buffer();
        for (int i = 0; i < 2 * kFrames; ++i) buf[i] = input[i / 2];
        effects.Render(kFrames);
        double peak = 0.0;
        for (int i = 0; i < 2 * kFrames; ++i)
            peak = std::isnan(buf[i]) ? INFINITY : std::max(peak, std::fabs(buf[i]));
        return peak;
    }
};

// A patch text with all units off but the record given for one chain position.
std::string OneUnit(int position, const std::string& record) {
    static const char* kOff[8] = {"100 0 0 0",
                                  "100 0 0 0 0 500 0 50 0",
                                  "250 500 440 0 500 50 500 0 0",
                                  "100 0 0 0 0 500 0 50 0",
                                  "70 70 70 70 70 0 150 0 0",
                                  "150 18 20 0",
                                  "1 200 150 0 150 150",
                                  "150 200 40 0 0"};
    std::string text = "15\n0 150\n";
    for (int p = 0; p < 8; ++p) text += (p == position ? record : kOff[p]) + std::string(" -1\n");
    return text;
}

std::vector<double> Noise(tTestNoise& noise, double level) {
    std::vector<double> x(kFrames);
    for (double& v : x) v = level * noise.next();
    return x;
}

} // namespace

TEST(EffectsBounds, PMResonatorFallsSilentSoonAfterItsInputStops) {
    // Every built-in PM resonator setting and the ends of the unit's sliders, driven hard for a
    // second: the output stays below 20. The built-in settings have died away two seconds after
    // the input stopped; at the sliders' ends the loop gain around the resting point exceeds
    // one and the resonator may sing on by itself, but no louder.
    std::vector<std::string> records;
    for (int p = 0; p < kPresetCount; ++p) {
        const char* text = PresetTable()[p].effects;
        if (!text) continue;
        std::istringstream in(text);
        std::string line;
        for (int i = 0; i < 5; ++i) std::getline(in, line); // line 5: the PM resonator
        records.push_back(line.substr(0, line.find("-1")));
    }
    const std::size_t builtIn = records.size();
    for (const char* frequency : {"0", "250", "600", "1000"})
        for (const char* scale : {"0", "1"})
            records.push_back(std::string(frequency) + " 1000 1000 " + scale +
                              " 1000 100 1000 0 1");
    const std::vector<double> silence(kFrames, 0.0);
    for (std::size_t r = 0; r < records.size(); ++r) {
        const std::string& record = records[r];
        tEngine engine(OneUnit(2, record));
        tTestNoise noise;
        double loud = 0.0;
        for (int b = 0; b < kBlocksPerSecond; ++b) {
            std::vector<double> x = Noise(noise, 0.3);
            for (int i = 0; i < kFrames; ++i) x[i] += 0.9 * std::sin(0.0078 * (b * kFrames + i));
            loud = std::max(loud, engine.block(x));
        }
        double after = 0.0;
        for (int b = 0; b < 2 * kBlocksPerSecond; ++b) loud = std::max(loud, engine.block(silence));
        for (int b = 0; b < kBlocksPerSecond / 2; ++b)
            after = std::max(after, engine.block(silence));
        double later = 0.0; // 8 to 8.5 s after the input stopped
        for (int b = 0; b < 11 * kBlocksPerSecond / 2; ++b) engine.block(silence);
        for (int b = 0; b < kBlocksPerSecond / 2; ++b)
            later = std::max(later, engine.block(silence));
        EXPECT_LT(loud, 20.0) << record;
        EXPECT_LT(after, 20.0) << record;
        if (r < builtIn) {
            EXPECT_LT(after, 0.05) << record;
            EXPECT_LT(later, 1e-3) << record;
        }
    }
}

TEST(EffectsBounds, LoopCoefficientsStayWithinTheSlidersFromAnyPatchText) {
    // Room size, damping and delay feedback far beyond their sliders: a burst of noise dies
    // away instead of growing, and the stored values are written back as they were read.
    const std::vector<double> silence(kFrames, 0.0);
    struct tCase {
        int position;
        const char* record;
    };
    for (const tCase& c : {tCase{6, "3 200 150 1 400 150"}, tCase{6, "3 320 150 1 300 150"},
                           tCase{6, "1 1100 150 1 150 150"}, tCase{6, "2 -500 150 1 150 150"},
                           tCase{7, "150 50 400 0 1"}, tCase{7, "150 50 100000 1 1"}}) {
        tEngine engine(OneUnit(c.position, c.record));
        tTestNoise noise;
        for (int b = 0; b < kBlocksPerSecond / 4; ++b) engine.block(Noise(noise, 0.5));
        double first = 0.0, last = 0.0;
        for (int b = 0; b < 2 * kBlocksPerSecond; ++b)
            first = std::max(first, engine.block(silence));
        for (int b = 0; b < 6 * kBlocksPerSecond; ++b) engine.block(silence);
        for (int b = 0; b < kBlocksPerSecond; ++b) last = std::max(last, engine.block(silence));
        EXPECT_LT(first, 10.0) << c.record;
        EXPECT_LT(last, 0.05 * first) << c.record;

        int out[tEffectUnit::kRecordSize];
        engine.effects.Unit(c.position)->getParams(out);
        std::string written;
        for (int i = 0; out[i] != -1; ++i) written += (i ? " " : "") + std::to_string(out[i]);
        EXPECT_EQ(written, c.record);
    }
}

TEST(EffectsBounds, NonFiniteValuesNeverLatchInAnyUnit) {
    // Each unit alone, in a built-in setting: one NaN or infinity in the input is silence, an
    // overflow inside a unit clears it within the block, and the unit plays on afterwards.
    const char* kUnits[8] = {"140 150 0 1",
                             "210 0 1 1 11 784 1 50 210",
                             "388 600 430 0 500 100 576 0 1",
                             nullptr,
                             "5 65 83 77 65 1 139 0 1",
                             "109 4 1024 1",
                             "3 93 70 1 285 239",
                             "105 525 60 1 1"};
    for (int position = 0; position < 8; ++position) {
        if (!kUnits[position]) continue;
        for (double bad : {std::nan(""), double(INFINITY), 1.7e308}) {
            tEngine engine(OneUnit(position, kUnits[position]));
            tTestNoise noise;
            for (int b = 0; b < 50; ++b) engine.block(Noise(noise, 0.3));
            std::vector<double> x = Noise(noise, 0.3);
            x[17] = bad;
            x[18] = -bad;
            EXPECT_TRUE(std::isfinite(engine.block(x))) << position << " " << bad;
            double peak = 0.0;
            for (int b = 0; b < 3 * kBlocksPerSecond; ++b) {
                const double p = engine.block(Noise(noise, 0.3));
                ASSERT_TRUE(std::isfinite(p)) << position << " " << bad << " block " << b;
                peak = std::max(peak, p);
            }
            EXPECT_GT(peak, 0.01) << position << " " << bad;
        }
    }
}

TEST(EffectsBounds, UnitsStartFromRestWhenPreparedAndWhenSwitchedOn) {
    // Every built-in effects setting: silent while nothing plays into it from the start (the
    // PM resonator rests on its constant excitation), and after ringing, switched off and on,
    // silent again at once.
    const std::vector<double> silence(kFrames, 0.0);
    int ringing = 0;
    for (int p = 0; p < kPresetCount; ++p) {
        const char* text = PresetTable()[p].effects;
        if (!text) continue;
        tEngine engine(text);
        double idle = 0.0;
        for (int b = 0; b < 2 * kBlocksPerSecond; ++b) idle = std::max(idle, engine.block(silence));
        tTestNoise noise;
        for (int b = 0; b < 100; ++b) engine.block(Noise(noise, 0.5));
        if (engine.block(silence) > 1e-3) ++ringing;
        engine.effects.SwitchOff();
        engine.effects.SwitchOn();
        double after = 0.0;
        for (int b = 0; b < kBlocksPerSecond; ++b) after = std::max(after, engine.block(silence));
        EXPECT_LT(idle, 1e-9) << PresetTable()[p].label;
        EXPECT_LT(after, 1e-9) << PresetTable()[p].label;
    }
    EXPECT_GE(ringing, 6); // tails that the switch had to clear
}
