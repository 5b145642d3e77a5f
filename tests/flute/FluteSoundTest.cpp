// Listening checks on rendered output: pitch and steadiness of the two flute presets, and a
// finite output at the ends of every widget's range.
#include "catalog/PresetTexts.h"
#include "core/KeyFrequency.h"
#include "dsp/Random.h"
#include "flute/FluteSynth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <sstream>
#include <vector>

namespace {

constexpr double kRate = 44100.0;

std::unique_ptr<tFluteSynth> PresetModule(const char* label) {
    auto module = std::make_unique<tFluteSynth>(50, 45);
    std::istringstream text(PresetTable()[FindPreset(label)].flute);
    module->ReadPatch(label, text);
    module->SwitchOn();
    return module;
}

std::vector<double> Render(tFluteSynth& module, int samples) {
    std::vector<double> out;
    out.reserve(samples);
    for (int done = 0; done < samples; done += 128) {
        module.Render(128);
        out.insert(out.end(), module.Output(), module.Output() + 128);
    }
    return out;
}

double Rms(const double* x, int n) {
    double sum = 0.0;
    for (int i = 0; i < n; ++i) sum += x[i] * x[i];
    return std::sqrt(sum / n);
}

// The fundamental of a steady stretch: the shortest lag at which the normalised
// autocorrelation has a peak nearly as high as its highest (so a tone is not mistaken for
// its own lower octave), refined by a parabola through the neighbouring lags.
double Fundamental(const double* x, int n) {
    const int shortest = static_cast<int>(kRate / 2500.0);
    const int longest = static_cast<int>(kRate / 60.0);
    const int span = n - longest - 1;
    std::vector<double> r(longest + 2, 0.0);
    for (int lag = shortest - 1; lag <= longest + 1; ++lag) {
        double xy = 0.0, xx = 0.0, yy = 0.0;
        for (int i = 0; i < span; ++i) {
            xy += x[i] * x[i + lag];
            xx += x[i] * x[i];
            yy += x[i + lag] * x[i + lag];
        }
        r[lag] = xy / std::sqrt(xx * yy + 1e-300);
    }
    double highest = 0.0;
    for (int lag = shortest; lag <= longest; ++lag) highest = std::max(highest, r[lag]);
    for (int lag = shortest; lag <= longest; ++lag) {
        if (r[lag] < 0.9 * highest || r[lag] < r[lag - 1] || r[lag] < r[lag + 1]) continue;
        const double a = r[lag - 1], b = r[lag], c = r[lag + 1];
        const double denominator = a - 2.0 * b + c;
        const double offset = denominator != 0.0 ? 0.5 * (a - c) / denominator : 0.0;
        return kRate / (lag + offset);
    }
    return 0.0;
}

double Cents(double f, double reference) {
    return 1200.0 * std::log2(f / reference);
}

// Phase delay in samples of the one-pole loss filter y = b0·x + a1·y at frequency f.
double OnePoleDelay(double a1, double f) {
    const double w = 2.0 * 3.141592653589793 * f / kRate;
    return std::atan2(a1 * std::sin(w), 1.0 - a1 * std::cos(w)) / w;
}

struct tSteadyTone {
    std::unique_ptr<tFluteSynth> module;
    double early; // fundamental over 0.5 .. 0.9 s
    double late;  // fundamental over 1.0 .. 1.4 s
    double earlyRms;
    double lateRms;
    bool finite;
};

tSteadyTone PlayPreset(const char* label, int key) {
    threadRandom.seed(1);
    tSteadyTone tone{};
    tone.module = PresetModule(label);
    tone.module->NoteOn(key, 100);
    const std::vector<double> out = Render(*tone.module, static_cast<int>(1.4 * kRate) + 128);
    tone.finite = true;
    for (double s : out) tone.finite = tone.finite && std::isfinite(s);
    const int window = static_cast<int>(0.4 * kRate);
    const double* early = out.data() + static_cast<int>(0.5 * kRate);
    const double* late = out.data() + static_cast<int>(1.0 * kRate);
    tone.early = Fundamental(early, window);
    tone.late = Fundamental(late, window);
    tone.earlyRms = Rms(early, window);
    tone.lateRms = Rms(late, window);
    return tone;
}

void ExpectSteady(const tSteadyTone& tone, const char* what) {
    EXPECT_TRUE(tone.finite) << what;
    EXPECT_GT(tone.lateRms, 0.01) << what;
    EXPECT_NEAR(tone.lateRms / tone.earlyRms, 1.0, 0.25) << what;
    EXPECT_NEAR(Cents(tone.late, tone.early), 0.0, 5.0) << what;
}

} // namespace

// The clarinet's bore is half a period long (tuned with the fraction of the note an octave
// up, note + 12) and its reed reflection inverts, so a wave needs two trips through the bore
// to come back in phase: the tone sits at the note's own frequency, with the odd harmonics
// of a closed pipe. The loss filter adds a little delay to every trip, which leaves the tone
// some twenty-odd cents flat; 30 cents is the limit.
TEST(FluteSound, ClarinetPresetSoundsAtTheNote) {
    for (int key : {60, 67, 72}) {
        const tSteadyTone tone = PlayPreset("Clarinet", key);
        ExpectSteady(tone, "Clarinet");
        const double cents = Cents(tone.late, KeyFrequency(key));
        EXPECT_NEAR(cents, 0.0, 30.0) << "key " << key << ": " << tone.late << " Hz";
        std::printf("Clarinet key %d: %.2f Hz, %+.1f cents from the note\n", key, tone.late, cents);
    }
}

// BrightFlute's jet ("embro. size" 0.25) is a quarter of the note's period long: half a
// period of the bore's second mode, which it therefore drives, so the flute sounds an octave
// above the note. The bore loop is one sample longer than its nominal period (the value
// entering the bore was computed in the previous sample) plus the loss filter's phase delay,
// so the loop's second mode lies at 2·rate / (period + 1 + filter delay): 13 cents flat of
// the tempered octave at key 60, 19 at 67 and 26 at 72, and the jet pulls the tone a few
// cents lower still. The measured pitch must lie within 10 cents of the loop's mode and in
// any case within 35 cents of the tempered octave.
TEST(FluteSound, BrightFlutePresetSoundsAnOctaveAboveTheNote) {
    for (int key : {60, 67, 72}) {
        const tSteadyTone tone = PlayPreset("BrightFlute", key);
        ExpectSteady(tone, "BrightFlute");
        const double f = KeyFrequency(key);
        const double period = kRate / f;
        const double a1 = tone.module->Voice(tone.module->CurrentVoice()).loopFilter().a1();
        const double expected = 2.0 * kRate / (period + 1.0 + OnePoleDelay(a1, 2.0 * f));
        EXPECT_NEAR(Cents(tone.late, expected), 0.0, 10.0)
            << "key " << key << ": " << tone.late << " Hz, expected " << expected;
        EXPECT_NEAR(Cents(tone.late, 2.0 * f), 0.0, 35.0) << "key " << key;
        std::printf("BrightFlute key %d: %.2f Hz, %+.1f cents from the loop's pitch, %+.1f from "
                    "the tempered octave\n",
                    key, tone.late, Cents(tone.late, expected), Cents(tone.late, 2.0 * f));
    }
}

// Every widget at one end of its range or the other, in many combinations, both models,
// low, middle and top keys, loud and soft, bent both ways: the output stays finite.
TEST(FluteSound, OutputStaysFiniteAtTheRangeEnds) {
    threadRandom.seed(1);
    auto module = std::make_unique<tFluteSynth>(0, 0);
    module->SwitchOn();
    tFluteControls& c = module->Controls();
    tControl* const controls[] = {
        &c.oscillator.frequency,   &c.oscillator.freqMax,     &c.oscillator.followNote,
        &c.oscillator.feedBore,    &c.oscillator.embroSize,   &c.oscillator.feedEmb,
        &c.oscillator.scale100,    &c.oscillator.type,        &c.oscillator.filterOrder,
        &c.oscillator.boreScale,   &c.breath.frequency,       &c.breath.amplitude,
        &c.breath.attack,          &c.breath.followNote,      &c.breath.attackAmplitude,
        &c.pressure.pressure,      &c.pressure.tremoloFreq,   &c.pressure.amplitude,
        &c.pressure.attack,        &c.outputControl.volume,   &c.outputControl.mute,
        &c.outputFilter.frequency, &c.outputFilter.resonance, &c.outputFilter.followNote,
        &c.outputFilter.type,      &c.outputFilter.onOff,
    };
    std::mt19937 corners(1234);
    const int kCorners = 160;
    int checked = 0;
    for (int corner = 0; corner < kCorners + 2; ++corner) {
        for (tControl* control : controls) {
            // All at the low end, all at the high end, then random corners.
            const bool high = corner == 0 ? false : corner == 1 ? true : (corners() & 1) != 0;
            control->Set(high ? control->Maximum() : control->Minimum());
        }
        module->Controller(0, -1, (corners() & 1) != 0 ? 0 : 16383);
        for (int key : {0, 60, 127}) {
            module->NoteOn(key, (corners() & 1) != 0 ? 127 : 1);
            for (int block = 0; block < 48; ++block) {
                module->Render(128);
                for (int i = 0; i < 128; ++i)
                    ASSERT_TRUE(std::isfinite(module->Output()[i]))
                        << "corner " << corner << " key " << key << " block " << block;
            }
            ++checked;
        }
        module->AllNotesOff();
    }
    EXPECT_EQ(checked, 3 * (kCorners + 2));
}
