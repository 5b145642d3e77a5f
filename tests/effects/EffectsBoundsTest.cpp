// The effects chain at the ends of what patch texts and input can give it, at 44100 Hz and at
// the lowest and highest rates: every loop stays bounded, the PM resonator falls silent once
// its input stops, nothing that is not a number latches, and the units start from rest.
#include "catalog/PresetTexts.h"
#include "effects/EffectUnit.h"
#include "effects/Effects.h"
#include "effects/EffectsPatch.h"

#include "TestSignals.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

constexpr int kRates[] = {44100, 22050, 192000};

// A stereo effects engine at a rate, prepared and on: a patch text, or one unit's record
// alone. kSecond is a second in blocks of 128 frames.
struct tEngine {
    tEffects effects;
    tTestNoise noise;
    const int kSecond;
    tEngine(int rate, const std::string& text) : kSecond(rate / 128) {
        std::istringstream in(text);
        ReadEffectsPatch(effects, in);
        Start(rate);
    }
    tEngine(int rate, int position, const std::string& record) : kSecond(rate / 128) {
        effects.Unit(position)->setParams(Record(record).data());
        Start(rate);
    }
    void Start(int rate) {
        effects.SetChannels(2);
        effects.SetSampleRate(rate);
        effects.Prepare();
        effects.SwitchOn();
    }
    // Blocks of noise of the given level (0: silence), extra added to one value of the first;
    // returns the peak (infinity for a value that is not a number).
    double Play(int blocks, double level, double extra = 0.0) {
        double peak = 0.0;
        for (int b = 0; b < blocks; ++b) {
            double* buf = effects.Buffer();
            for (int i = 0; i < 256; ++i) buf[i] = level * noise.next();
            if (b == 0) buf[34] += extra;
            effects.Render(128);
            for (int i = 0; i < 256; ++i)
                peak = std::isnan(buf[i]) ? INFINITY : std::max(peak, std::fabs(buf[i]));
        }
        return peak;
    }
};

} // namespace

TEST(EffectsBounds, PMResonatorFallsSilentSoonAfterItsInputStops) {
    // The built-in settings and the sliders' ends, driven hard for a second: the output stays
    // below 20; the built-in settings die away once the input stops. At the sliders' ends the
    // loop gain around the resting point exceeds one and the resonator may sing on by itself.
    std::vector<std::string> records;
    for (int p = 0; p < kPresetCount; ++p) {
        std::istringstream in(PresetTable()[p].effects ? PresetTable()[p].effects : "");
        std::string line;
        for (int i = 0; i < 5; ++i) std::getline(in, line); // line 5: the PM resonator
        if (in) records.push_back(line);
    }
    const std::size_t builtIn = records.size();
    for (const char* ends :
         {"0 1000 1000 1 1000 100 1000 0 1", "1000 1000 1000 0 1000 100 1000 0 1"})
        records.push_back(ends);
    for (const int rate : kRates)
        for (std::size_t r = 0; r < records.size(); ++r) {
            tEngine engine(rate, 2, records[r]);
            const int kSecond = engine.kSecond;
            double loud = engine.Play(kSecond, 1.0);
            loud = std::max(loud, engine.Play(2 * kSecond, 0.0));
            const double after = engine.Play(kSecond / 2, 0.0);
            engine.Play(11 * kSecond / 2, 0.0);
            const double later = engine.Play(kSecond / 2, 0.0); // 8 s after the input stopped
            EXPECT_LT(std::max(loud, after), 20.0) << records[r] << " at " << rate;
            if (r < builtIn) {
                EXPECT_LT(after, 0.05) << records[r] << " at " << rate;
                EXPECT_LT(later, 1e-3) << records[r] << " at " << rate;
            }
        }
}

TEST(EffectsBounds, LoopCoefficientsStayWithinTheSlidersFromAnyPatchText) {
    // Room size, damping and delay feedback far beyond their sliders: a burst of noise dies
    // away instead of growing, and the stored values are written back as they were read.
    for (auto [position, record] : {std::pair{6, "3 200 150 1 400 150"},
                                    {6, "3 320 150 1 300 150"},
                                    {6, "1 1100 150 1 150 150"},
                                    {6, "2 -500 150 1 150 150"},
                                    {7, "150 50 400 0 1"},
                                    {7, "150 50 100000 1 1"}})
        for (const int rate : kRates) {
            tEngine engine(rate, position, record);
            const int kSecond = engine.kSecond;
            engine.Play(kSecond / 4, 0.5);
            const double first = engine.Play(2 * kSecond, 0.0);
            engine.Play(6 * kSecond, 0.0);
            EXPECT_LT(first, 10.0) << record << " at " << rate;
            EXPECT_LT(engine.Play(kSecond, 0.0), 0.05 * first) << record << " at " << rate;
            int out[tEffectUnit::kRecordSize];
            engine.effects.Unit(position)->getParams(out);
            std::string written;
            for (int i = 0; out[i] != -1; ++i) written += (i ? " " : "") + std::to_string(out[i]);
            EXPECT_EQ(written, record);
        }
}

TEST(EffectsBounds, NonFiniteValuesNeverLatchInAnyUnit) {
    // Each unit alone: a NaN or an infinity in the input is silence, an overflow inside a unit
    // clears it within the block, and the unit plays on afterwards.
    const char* kUnits[8] = {"140 150 0 1",
                             "210 0 1 1 11 784 1 50 210",
                             "388 600 430 0 500 100 576 0 1",
                             nullptr,
                             "5 65 83 77 65 1 139 0 1",
                             "109 4 1024 1",
                             "3 93 70 1 285 239",
                             "105 525 60 1 1"};
    for (const int rate : kRates)
        for (int position = 0; position < 8; ++position)
            for (double bad : {std::nan(""), double(INFINITY), 1.7e308}) {
                if (!kUnits[position]) continue;
                tEngine engine(rate, position, kUnits[position]);
                engine.Play(50, 0.3);
                EXPECT_TRUE(std::isfinite(engine.Play(1, 0.3, bad)))
                    << position << " " << bad << " at " << rate;
                const double later = engine.Play(3 * engine.kSecond, 0.3);
                EXPECT_TRUE(std::isfinite(later) && later > 0.01)
                    << position << " " << bad << " at " << rate;
            }
}

TEST(EffectsBounds, UnitsStartFromRestWhenPreparedAndWhenSwitchedOn) {
    // Every built-in setting is silent while nothing plays into it from the start (the PM
    // resonator rests on its constant excitation), and, after ringing, switched off and on,
    // silent again at once.
    for (const int rate : kRates) {
        int ringing = 0;
        for (int p = 0; p < kPresetCount; ++p) {
            if (!PresetTable()[p].effects) continue;
            tEngine engine(rate, PresetTable()[p].effects);
            const double idle = engine.Play(2 * engine.kSecond, 0.0);
            engine.Play(100, 0.5);
            if (engine.Play(1, 0.0) > 1e-3) ++ringing;
            engine.effects.SwitchOff();
            engine.effects.SwitchOn();
            EXPECT_LT(std::max(idle, engine.Play(engine.kSecond, 0.0)), 1e-9)
                << PresetTable()[p].label << " at " << rate;
        }
        EXPECT_GE(ringing, 6) << rate; // tails that the switch had to clear
    }
}

TEST(EffectsBounds, OutputApproachesTheCeilingAndNeverPassesIt) {
    // The organ's chain at its loudest (output volume 4, a resonant band pass filter before
    // its other units) behind a module that is loud already.
    for (const int rate : kRates) {
        tEngine engine(rate, PresetTable()[FindPreset("Organ")].effects);
        tEffectsControls& c = engine.effects.Controls();
        c.top.outputVolume.Set(4.0);
        c.filter.on.Set(1);
        c.filter.resonance.Set(1.0);
        c.filter.volume.Set(3.0);
        c.filter.mode.Set(2);
        const double peak = engine.Play(2 * engine.kSecond, 400.0);
        EXPECT_LE(peak, 1000.0) << rate;
        EXPECT_GT(peak, 500.0) << rate;
    }
}
