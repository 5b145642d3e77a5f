#include "effects/EffectsModule.h"
#include "core/Rack.h"
#include "effects/Chorus.h"
#include "effects/Delay.h"
#include "effects/Distortion.h"
#include "effects/PMResonator.h"
#include "effects/Resonator.h"
#include "effects/Reverb.h"
#include "effects/UniversalFilter.h"

#include "TestSource.h"

#include <gtest/gtest.h>

namespace {
double OutputFactor(double volume) {
    return std::exp(volume / 3.0) - 1.0;
}

struct EffectsModuleFixture : ::testing::Test {
    tEffectsModule module{190, 50};
    tEffects& fx = module.Engine();
    tEffectsControls& c = fx.Controls();

    void Start(int channels) {
        module.SetChannels(channels);
        module.Prepare();
        module.SwitchOn();
    }
    // Renders one block of frames with every value set to x; returns the block.
    std::vector<double> Block(int frames, double x) {
        const int n = frames * fx.Channels();
        std::fill(fx.Buffer(), fx.Buffer() + n, x);
        module.Render(frames);
        return std::vector<double>(fx.Buffer(), fx.Buffer() + n);
    }
};
} // namespace

TEST_F(EffectsModuleFixture, NewModuleIsAnEffectsSlotSwitchedOff) {
    EXPECT_EQ(module.Type(), 3);
    EXPECT_TRUE(module.AcceptsInput());
    EXPECT_FALSE(module.IsOn());
    EXPECT_FALSE(fx.On());
    EXPECT_TRUE(c.top.allEffectsOff.IsOn());
    EXPECT_FALSE(module.IsActive());
    EXPECT_EQ(module.Title(), "KV Effects");
    EXPECT_STREQ(module.PatchExtension(), ".efx");
    EXPECT_EQ(fx.GainLeft(), 0.5);
    EXPECT_EQ(fx.OutputGain(), 0.0);
    // Position 3 is the universal filter of position 1 again.
    EXPECT_EQ(fx.Unit(1), fx.Unit(3));
    EXPECT_NE(dynamic_cast<tUniversalFilter*>(fx.Unit(1)), nullptr);
    EXPECT_NE(dynamic_cast<tDelay*>(fx.Unit(7)), nullptr);

    module.SwitchOn();
    EXPECT_TRUE(module.IsOn());
    EXPECT_FALSE(c.top.allEffectsOff.IsOn());
    EXPECT_TRUE(module.IsActive());
    module.SwitchOff();
    EXPECT_TRUE(c.top.allEffectsOff.IsOn());
    EXPECT_FALSE(module.IsActive());
}

TEST_F(EffectsModuleFixture, FirstBlockIsSilentThenTheOutputVolumeApplies) {
    Start(1);
    const auto first = Block(64, 0.5);
    EXPECT_EQ(Peak(first), 0.0);
    const auto second = Block(64, 0.5);
    EXPECT_DOUBLE_EQ(second[10], 0.5 * OutputFactor(1.5));

    // The output volume is re-read only at the start of each 42-block cycle.
    c.top.outputVolume.Set(0.0);
    for (int b = 2; b < 42; ++b) EXPECT_DOUBLE_EQ(Block(64, 0.5)[0], 0.5 * OutputFactor(1.5));
    EXPECT_DOUBLE_EQ(Block(64, 0.5)[0], 0.5 * OutputFactor(1.5)); // block 0 computes
    EXPECT_EQ(Block(64, 0.5)[0], 0.0);                            // volume 0 mutes
    c.top.outputVolume.Set(4.0);
    for (int b = 0; b < 42; ++b) Block(64, 0.5);
    EXPECT_NEAR(fx.OutputGain() / 32768.0, 2.794, 1e-3);
}

TEST_F(EffectsModuleFixture, PanSetsTheBalanceAndMonoIgnoresIt) {
    module.SetPan(0);
    EXPECT_EQ(fx.GainLeft(), 0.0);
    EXPECT_EQ(fx.GainRight(), 2.0);
    module.SetPan(127);
    EXPECT_EQ(fx.GainLeft(), 1.984375);
    EXPECT_EQ(fx.GainRight(), 0.015625);
    // A 14-bit pan from a sequencer client (8192 is its centre) stays a balance.
    module.SetPan(8192);
    EXPECT_EQ(fx.GainLeft(), 1.984375);
    EXPECT_EQ(fx.GainRight(), 0.015625);
    module.SetPan(-3);
    EXPECT_EQ(fx.GainLeft(), 0.0);
    EXPECT_EQ(fx.GainRight(), 2.0);

    Start(2); // Prepare centres the balance
    EXPECT_EQ(fx.GainLeft(), 1.0);
    module.SetPan(0);
    Block(32, 0.5);
    auto stereo = Block(32, 0.5);
    EXPECT_EQ(stereo[0], 0.0);
    EXPECT_DOUBLE_EQ(stereo[1], 0.5 * 2.0 * OutputFactor(1.5));

    module.SetChannels(1);
    module.Prepare();
    module.SetPan(0);
    auto mono = Block(32, 0.5);
    EXPECT_DOUBLE_EQ(mono[0], 0.5 * OutputFactor(1.5));
    EXPECT_DOUBLE_EQ(mono[1], 0.5 * OutputFactor(1.5));
}

TEST_F(EffectsModuleFixture, SwitchedOffModulePassesTheBufferUntouched) {
    Start(2);
    Block(16, 0.3);
    module.SwitchOff();
    const auto block = Block(16, 0.3);
    for (double v : block) EXPECT_EQ(v, 0.3);
    EXPECT_FALSE(module.IsActive());
}

TEST_F(EffectsModuleFixture, EachUnitUpdatesAtBlockFiveTimesItsPositionOnlyWhenOn) {
    Start(2);
    // Every unit on; then change a parameter of each and find the block that picks it up.
    for (tControl* on : {&c.distortion.on, &c.filter.on, &c.pmResonator.on, &c.resonator.on,
                         &c.chorus.on, &c.reverb.on, &c.delay.on})
        on->Set(1);
    auto* distortion = dynamic_cast<tDistortion*>(fx.Unit(0));
    auto* filter = dynamic_cast<tUniversalFilter*>(fx.Unit(1));
    auto* pm = dynamic_cast<tPMResonator*>(fx.Unit(2));
    auto* resonator = dynamic_cast<tResonator*>(fx.Unit(4));
    auto* chorus = dynamic_cast<tChorus*>(fx.Unit(5));
    auto* reverb = dynamic_cast<tReverb*>(fx.Unit(6));
    auto* delay = dynamic_cast<tDelay*>(fx.Unit(7));
    Block(16, 0.0); // block 0 of the cycle
    c.distortion.volume.Set(0.3);
    c.filter.volume.Set(0.3);
    c.pmResonator.efxVolume.Set(0.3);
    c.resonator.volume.Set(0.3);
    c.chorus.volume.Set(0.3);
    c.reverb.damping.Set(0.7);
    c.delay.volume.Set(0.3);
    c.delay.on.Set(0); // off at its block: it keeps the old gain
    const double g = OutputFactor(0.3);
    int seen[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    for (int block = 1; block <= 42; ++block) {
        const int count = fx.BlockCount();
        Block(16, 0.0);
        auto note = [&](int p, bool changed) {
            if (changed && seen[p] < 0) seen[p] = count;
        };
        note(0, distortion->gain() == g);
        note(1, filter->gain() == g);
        note(2, pm->core().outGain() == std::exp(0.3) - 1.0);
        note(4, resonator->bandGain(0) == g * (std::exp(0.7) - 1.0));
        note(5, chorus->gain() == g);
        note(6, reverb->simpleLength() == tReverb::SimpleLengthFor(0.7));
        note(7, delay->gain() == g / 2.0);
    }
    EXPECT_EQ(seen[0], 0);
    EXPECT_EQ(seen[1], 5);
    EXPECT_EQ(seen[2], 10);
    EXPECT_EQ(seen[4], 20);
    EXPECT_EQ(seen[5], 25);
    EXPECT_EQ(seen[6], 30);
    EXPECT_EQ(seen[7], -1);
    EXPECT_EQ(fx.BlockCount(), 1);
}

TEST_F(EffectsModuleFixture, MeterShowsThePeakEvery42BlocksInItsColour) {
    Start(1);
    c.top.outputVolume.Set(3.0 * std::log(2.0)); // factor 1
    Block(16, 0.0);
    c.top.meterOn.Set(1);
    for (int b = 1; b < 42; ++b) Block(16, b == 20 ? 0.9 : 0.1);
    EXPECT_EQ(fx.BlockCount(), 0);
    EXPECT_NEAR(c.top.meter.Value(), 0.9, 1e-9);
    EXPECT_EQ(c.top.meter.Colour(), tEffectsTopControls::kMeterHigh);
    for (int b = 0; b < 42; ++b) Block(16, 0.995);
    EXPECT_EQ(c.top.meter.Colour(), tEffectsTopControls::kMeterClip);
    for (int b = 0; b < 42; ++b) Block(16, 0.5);
    EXPECT_EQ(c.top.meter.Colour(), tEffectsTopControls::kMeterNormal);
    // With the meter switch off the meter still refreshes, showing 0.
    c.top.meterOn.Set(0);
    for (int b = 0; b < 42; ++b) Block(16, 0.995);
    EXPECT_EQ(c.top.meter.Value(), 0.0);
    EXPECT_EQ(c.top.meter.Colour(), tEffectsTopControls::kMeterNormal);
}

TEST(EffectsPull, NoInputsRenderSilenceWithoutRunningTheChain) {
    tRack rack;
    rack.SetChannels(2);
    auto* fx = new tEffectsModule(160, 45);
    rack.Insert(fx);
    {
        tRack::tGuard guard(rack);
        fx->SwitchOn();
        fx->Engine().Controls().delay.on.Set(1);
    }
    auto* source = new tTestSource(0.25);
    rack.Insert(source);
    rack.Connect(source, fx);
    for (int b = 0; b < 10; ++b) rack.Render(64);
    const double* mix = rack.Render(64);
    EXPECT_NE(mix[0], 0.0);
    const int count = fx->Engine().BlockCount();

    // Disconnected: the unit gives silence at once (the echo tail stops) and its chain does
    // not run, so the block count stands still; the source is now mixed directly.
    rack.Connect(source, fx);
    EXPECT_TRUE(fx->Inputs().empty());
    fx->rendered = false;
    fx->Pull(64);
    for (int i = 0; i < 128; ++i) EXPECT_EQ(fx->Output()[i], 0.0);
    EXPECT_EQ(fx->Engine().BlockCount(), count);
    mix = rack.Render(64);
    EXPECT_EQ(mix[0], 0.25);
    EXPECT_EQ(fx->Engine().BlockCount(), count);
}

TEST(EffectsPull, SecondPullInABlockDoesNothingAndInputsAreSummed) {
    tEffectsModule fx(0, 0);
    tTestSource a(0.25), b(0.5);
    tRack rack; // only used to wire the slots; they are not inserted
    rack.Connect(&a, &fx);
    rack.Connect(&b, &fx);
    fx.SetChannels(1);
    fx.Prepare();
    fx.SwitchOn();
    for (tSlot* s : {static_cast<tSlot*>(&a), static_cast<tSlot*>(&b), static_cast<tSlot*>(&fx)})
        s->rendered = false;
    a.Render(32);
    b.Render(32);
    fx.Pull(32);
    EXPECT_EQ(fx.Engine().BlockCount(), 1);
    fx.Pull(32);
    EXPECT_EQ(fx.Engine().BlockCount(), 1);
    // Next block: the sum of both inputs, scaled by the output volume.
    for (tSlot* s : {static_cast<tSlot*>(&a), static_cast<tSlot*>(&b), static_cast<tSlot*>(&fx)})
        s->rendered = false;
    a.Render(32);
    b.Render(32);
    fx.Pull(32);
    EXPECT_DOUBLE_EQ(fx.Output()[0], 0.75 * OutputFactor(1.5));
    EXPECT_EQ(fx.Engine().BlockCount(), 2);
    rack.Connect(&a, &fx);
    rack.Connect(&b, &fx);
}

TEST(EffectsChain, EveryUnitOnWithExtremeSettingsStaysFiniteAndBounded) {
    // Settings at the ends of the sliders, and a few switches that change the signal path.
    for (int variant = 0; variant < 3; ++variant) {
        tEffectsModule module(0, 0);
        tEffectsControls& c = module.Engine().Controls();
        for (tControl* control : c.All()) {
            if (control->Kind() == tControlKind::Display) continue;
            if (control->Kind() == tControlKind::Choice) {
                control->Set(variant == 1 ? 0 : control->EntryCount() - 1);
                continue;
            }
            const double lo = std::min(control->Minimum(), control->Maximum());
            const double hi = std::max(control->Minimum(), control->Maximum());
            // Variant 1 takes the lower ends, but keeps the gains up so that sound passes.
            const bool gain = control->Label().find("vol") != std::string::npos;
            control->Set(variant == 1 && !gain ? lo : hi);
        }
        if (variant == 1) c.top.outputVolume.Set(1.5);
        for (tControl* on : {&c.distortion.on, &c.filter.on, &c.pmResonator.on, &c.resonator.on,
                             &c.chorus.on, &c.reverb.on, &c.delay.on})
            on->Set(1);
        if (variant == 2) {
            c.filter.mode.Set(2);
            c.reverb.type.Set(0);
            c.pmResonator.efxOnly.Set(0);
            c.distortion.softMode.Set(0);
        }
        module.SetChannels(2);
        module.Prepare();
        module.SwitchOn();
        tTestNoise noise;
        for (bool silent : {false, true}) {
            double earlyPeak = 0.0, latePeak = 0.0;
            const int blocks = 10 * 44100 / 128;
            for (int b = 0; b < blocks; ++b) {
                double* buf = module.Engine().Buffer();
                for (int i = 0; i < 256; ++i) buf[i] = silent ? 0.0 : noise.next();
                module.rendered = false;
                module.Render(128);
                for (int i = 0; i < 256; ++i) {
                    ASSERT_TRUE(std::isfinite(buf[i])) << "variant " << variant << " block " << b;
                    const double m = std::fabs(buf[i]);
                    if (b < blocks / 2)
                        earlyPeak = std::max(earlyPeak, m);
                    else
                        latePeak = std::max(latePeak, m);
                }
            }
            EXPECT_LT(latePeak, 1e7) << "variant " << variant << " silent " << silent;
            // No growth: the second five seconds peak no higher than the first, give or take.
            EXPECT_LE(latePeak, 2.0 * earlyPeak + 1e-9)
                << "variant " << variant << " silent " << silent;
        }
    }
}
