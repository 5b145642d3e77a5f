#include "StringTestUtil.h"

#include "catalog/PresetTexts.h"
#include "core/Rack.h"
#include "dsp/Random.h"
#include "string/StringModule.h"
#include "string/StringVoice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>

using namespace stringtest;

namespace {

std::unique_ptr<tStringModule> PlayingModule() {
    auto module = std::make_unique<tStringModule>(50, 45);
    module->SwitchOn();
    return module;
}

int KeyOf(tStringModule& m, int slot) {
    return m.Engine().Slot(slot).key;
}
bool Sounds(tStringModule& m, int slot) {
    return m.Engine().Slot(slot).voice->isSounding();
}

} // namespace

TEST(StringSynthVoices, NotesTakeFreeVoicesInOrderThenTheFirstReleasedThenTheOldest) {
    auto m = PlayingModule();
    ASSERT_EQ(m->GetPolyphony(), 8);
    for (int k = 0; k < 8; ++k) m->NoteOn(60 + k, 100);
    for (int s = 0; s < 8; ++s) {
        EXPECT_EQ(KeyOf(*m, s), 60 + s);
        EXPECT_EQ(m->Engine().Slot(s).age, s);
    }
    EXPECT_FALSE(Sounds(*m, 8)); // beyond the voice count nothing is used

    m->NoteOn(70, 100); // no voice releases: the oldest held note's
    EXPECT_EQ(KeyOf(*m, 0), 70);
    m->NoteOff(63);
    m->NoteOff(61); // frees slot 1 from its key; its voice still releases
    EXPECT_EQ(KeyOf(*m, 1), -1);
    EXPECT_TRUE(Sounds(*m, 1));
    m->NoteOn(71, 100); // the voice whose release began first, before any held one
    EXPECT_EQ(KeyOf(*m, 3), 71);
    m->NoteOn(72, 100);
    EXPECT_EQ(KeyOf(*m, 1), 72);
    m->NoteOn(73, 100); // none releases again: the oldest held is slot 2
    EXPECT_EQ(KeyOf(*m, 2), 73);

    // With every voice releasing a new note takes the first released.
    for (int s = 7; s >= 0; --s) m->NoteOff(KeyOf(*m, s));
    m->NoteOn(90, 100);
    EXPECT_EQ(KeyOf(*m, 7), 90);
    m->NoteOff(90);

    // Once the releases are over the voices are free again and ages restart from 0.
    RenderFrames(*m, 8192);
    EXPECT_FALSE(m->IsActive());
    m->NoteOn(90, 100);
    EXPECT_EQ(KeyOf(*m, 0), 90);
    EXPECT_EQ(m->Engine().Slot(0).age, 0);
}

TEST(StringSynthVoices, RepeatedKeyReleasesItsVoiceAndSoundsOnAnother) {
    auto m = PlayingModule();
    m->NoteOn(64, 100);
    m->NoteOn(64, 80);
    EXPECT_EQ(KeyOf(*m, 0), -1);
    EXPECT_TRUE(Sounds(*m, 0)); // releasing
    EXPECT_EQ(KeyOf(*m, 1), 64);
    m->NoteOff(64); // one voice per note off
    EXPECT_EQ(KeyOf(*m, 1), -1);
    m->NoteOff(64); // nothing left to release
}

TEST(StringSynthVoices, VoiceCountRules) {
    auto m = PlayingModule();
    m->SetPolyphony(2);
    EXPECT_EQ(m->GetPolyphony(), 2);
    m->NoteOn(60, 100);
    m->NoteOn(62, 100);
    m->NoteOn(64, 100);
    EXPECT_EQ(KeyOf(*m, 0), 64);
    EXPECT_EQ(KeyOf(*m, 1), 62);
    EXPECT_FALSE(Sounds(*m, 2));

    for (int n : {0, -5, 1}) {
        m->SetPolyphony(n);
        EXPECT_EQ(m->GetPolyphony(), 12) << n;
    }
    m->SetPolyphony(16);
    EXPECT_EQ(m->GetPolyphony(), 24);
    m->SetPolyphony(9);
    EXPECT_EQ(m->GetPolyphony(), 9);

    // Lowering the count silences the voices above it and frees them; raising it again
    // brings none of them back.
    m->AllNotesOff();
    m->SetPolyphony(8);
    for (int k = 0; k < 8; ++k) m->NoteOn(40 + k, 100);
    m->SetPolyphony(4);
    RenderFrames(*m, 1024);
    for (int s = 0; s < 8; ++s) {
        EXPECT_EQ(KeyOf(*m, s), s < 4 ? 40 + s : -1) << s;
        EXPECT_EQ(Sounds(*m, s), s < 4) << s;
    }
    EXPECT_EQ(m->Engine().Fading(), 0);
    m->SetPolyphony(8);
    RenderFrames(*m, 1024);
    for (int s = 4; s < 8; ++s) EXPECT_FALSE(Sounds(*m, s)) << s;
}

// A fast run on 8 voices with a long release: every note takes a voice (the one whose release
// began first), and the sound of a taken voice fades out over 3 ms instead of stopping.
TEST(StringSynthVoices, NewNotesTakeReleasingVoicesWhichFadeOut) {
    auto m = PlayingModule();
    m->Controls().output.release.Set(1.0);
    int sounded = 0;
    for (int k = 48; k < 64; ++k) {
        m->NoteOn(k, 100);
        RenderFrames(*m, 441);
        for (int s = 0; s < 8; ++s) sounded += KeyOf(*m, s) == k && Sounds(*m, s);
        m->NoteOff(k);
        RenderFrames(*m, 441);
    }
    EXPECT_EQ(sounded, 16);

    // One note alone on two voices, the others silent (velocity 0): when a third note takes
    // its voice, what follows is that note's own sound under a gain falling from 1 to 0.
    auto play = [](bool steal) {
        threadRandom.seed(1);
        auto module = PlayingModule();
        module->SetPolyphony(2);
        module->NoteOn(60, 100);
        module->NoteOn(62, 0);
        RenderFrames(*module, 4410);
        if (steal) module->NoteOn(64, 0);
        return RenderFrames(*module, 512);
    };
    const std::vector<double> held = play(false);
    const std::vector<double> stolen = play(true);
    const int fade = 132; // 3 ms
    double peak = 0.0;
    for (int i = 0; i < 512; ++i) {
        const double gain = i < fade ? (fade - i) / static_cast<double>(fade) : 0.0;
        EXPECT_NEAR(stolen[i], gain * held[i], 1e-12) << i;
        peak = std::max(peak, std::fabs(held[i]));
    }
    EXPECT_GT(peak, 0.01);
    EXPECT_EQ(m->Engine().Fading(), 0);
}

TEST(StringSynthVoices, SustainPedalOnlyWithTwentyFourVoices) {
    auto m = PlayingModule();
    m->SetPolyphony(12);
    m->NoteOn(60, 100);
    m->Controller(0, 64, 127);
    m->NoteOff(60);
    EXPECT_EQ(KeyOf(*m, 0), -1);

    m->SetPolyphony(24);
    m->NoteOn(62, 100);
    m->NoteOn(64, 100);
    m->Controller(0, 64, 100);
    m->NoteOn(65, 100); // pressed after the pedal: not held by it
    m->NoteOff(62);
    m->NoteOff(65);
    EXPECT_EQ(KeyOf(*m, 1), 62);
    EXPECT_TRUE(m->Engine().Slot(1).sustained);
    EXPECT_EQ(KeyOf(*m, 3), -1);
    m->Controller(0, 64, 10);
    EXPECT_EQ(KeyOf(*m, 1), -1);
    EXPECT_EQ(KeyOf(*m, 2), -1);
    EXPECT_FALSE(m->Engine().Slot(2).sustained);
    EXPECT_TRUE(Sounds(*m, 2)); // released, not cut
}

TEST(StringSynthControllers, GateAndAlwaysActiveControllers) {
    auto m = PlayingModule();
    tStringControls& c = m->Controls();
    const double frequency = c.energy.frequency.Value();
    m->Controller(0, 11, 127);
    EXPECT_EQ(c.energy.frequency.Value(), frequency);
    m->Controller(0, 7, 64);
    EXPECT_DOUBLE_EQ(m->Engine().VolumeScale(), 64.0 / 127.0);
    m->Controller(0, -1, 0);
    EXPECT_DOUBLE_EQ(m->Engine().BendFactor(), 0.34);
    m->Controller(0, -1, 16383);
    EXPECT_NEAR(m->Engine().BendFactor(), 3.0, 1e-3);
    m->Controller(3, 7, 0); // another channel
    EXPECT_DOUBLE_EQ(m->Engine().VolumeScale(), 64.0 / 127.0);
    m->Controller(0, 121, 0);
    EXPECT_EQ(m->Engine().VolumeScale(), 1.0);
    EXPECT_EQ(m->Engine().BendFactor(), 1.0);
    m->SetPolyphony(24);
    m->NoteOn(60, 100);
    m->Controller(0, 64, 127);
    EXPECT_TRUE(m->Engine().Slot(0).sustained);
    m->Controller(0, 121, 0); // resetting the controllers releases the pedal too
    EXPECT_FALSE(m->Engine().Slot(0).sustained);
    EXPECT_EQ(KeyOf(*m, 0), -1);

    c.top.midiController.Set(1);
    m->Controller(0, 11, 127);
    EXPECT_NEAR(c.energy.frequency.Value(), 1.0, 1e-12);
    m->Controller(0, 12, 127);
    EXPECT_EQ(c.energy.filterOrder.Index(), 3);
    m->Controller(0, 12, 42);
    EXPECT_EQ(c.energy.filterOrder.Index(), 0);
    m->Controller(0, 14, 70);
    EXPECT_EQ(c.energy.softDamp.Value(), 11);
    m->Controller(0, 16, 127);
    EXPECT_EQ(c.wave.type.Index(), 11);
    m->Controller(0, 17, 0); // 0.05, below the slider's 0.5
    EXPECT_EQ(c.outputFilter.frequency.Value(), 0.05);
    m->Controller(0, 17, 127);
    EXPECT_NEAR(c.outputFilter.frequency.Value(), 10.0, 1e-9);
    m->Controller(0, 20, 127);
    EXPECT_EQ(c.outputFilter.slope.Index(), 7);
    m->Controller(0, 1, 5); // below 0.06 gives 0
    EXPECT_EQ(c.output.lfoAmpl.Value(), 0.0);
    m->Controller(0, 21, 64);
    EXPECT_EQ(c.output.attack.Value(), 50);
    m->Controller(0, 22, 127);
    EXPECT_EQ(c.envelope.envMode.Index(), 7);
    m->Controller(0, 23, 127);
    EXPECT_DOUBLE_EQ(c.envelope.envAmpl.Value(), 5.0);
    m->Controller(0, 2, 127);
    EXPECT_NEAR(c.randomFilter.frequency.Value(), 1.0, 1e-12);
    m->Controller(0, 13, 0);
    EXPECT_DOUBLE_EQ(c.energy.feedback.Value(), 0.61);
}

TEST(StringSynthSound, VelocityZeroIsSilentForTheVelocityScaledEnvelopeModes) {
    for (int mode = 0; mode < 5; ++mode) {
        auto m = PlayingModule();
        m->Controls().envelope.envMode.Set(mode);
        m->NoteOn(60, 0);
        const std::vector<double> out = RenderFrames(*m, 2048);
        EXPECT_TRUE(m->IsActive()) << mode;
        if (mode < 4) {
            EXPECT_EQ(Rms(out, 0, out.size()), 0.0) << mode;
        } else {
            EXPECT_GT(Rms(out, 0, out.size()), 0.0) << mode; // "ampl." keeps the volume
        }
    }
}

TEST(StringSynthSound, VolumeAndCutoffFollowTheControlsAtTheNextBlock) {
    auto m = PlayingModule();
    m->NoteOn(60, 100);
    RenderFrames(*m, 1024);
    m->Controls().output.volume.Set(0.0);
    const std::vector<double> out = RenderFrames(*m, 256);
    EXPECT_EQ(Rms(out, 0, out.size()), 0.0);
    m->Controls().output.volume.Set(3.0);
    m->Controls().output.mute.Set(0);
    EXPECT_GT(Rms(RenderFrames(*m, 256), 0, 256), 0.0);
}

TEST(StringSynthModule, SwitchedOffRendersNothing) {
    tStringModule m(50, 45);
    EXPECT_EQ(m.Type(), 1);
    EXPECT_FALSE(m.IsOn());
    EXPECT_EQ(m.Caption(), "");
    m.NoteOn(60, 100);
    m.Render(128);
    EXPECT_FALSE(m.IsActive());
    EXPECT_TRUE(m.rendered);
    EXPECT_FALSE(Sounds(m, 0));

    m.SwitchOn();
    m.NoteOn(60, 100);
    m.Render(128);
    EXPECT_TRUE(m.IsActive());
    m.SwitchOff();
    EXPECT_FALSE(Sounds(m, 0));
    m.Render(128);
    EXPECT_FALSE(m.IsActive());
}

TEST(StringSynthModule, ChannelChangeShowsTheChannelAndSilences) {
    auto m = PlayingModule();
    m->NoteOn(60, 100);
    m->Controller(0, 7, 10);
    m->SetChannel(5);
    EXPECT_EQ(m->GetChannel(), 4);
    EXPECT_EQ(m->Controls().top.midiChannel.Index(), 4);
    EXPECT_FALSE(Sounds(*m, 0));
    EXPECT_EQ(m->Engine().VolumeScale(), 1.0);
    m->Controller(0, 7, 10); // controllers now come on channel index 4
    EXPECT_EQ(m->Engine().VolumeScale(), 1.0);
    m->Controller(4, 7, 10);
    EXPECT_NE(m->Engine().VolumeScale(), 1.0);
}

TEST(StringSynthModule, PatchNamesTitleAndFiles) {
    tStringModule m(50, 45);
    EXPECT_EQ(m.Title(), "KV String Synthesizer");
    std::istringstream in(PresetTable()[8].string);
    m.ReadPatch("FingdBass", in);
    EXPECT_EQ(m.Caption(), "FingdBass");
    EXPECT_EQ(m.Title(), "KV String Synthesizer   (FingdBass)");
    EXPECT_EQ(m.Controls().energy.filterOrder.Index(), 3);

    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("kelvora_string_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "harp.pst").string();
    m.Controls().output.volume.Set(1.25);
    ASSERT_TRUE(m.SavePatchFile(path));
    EXPECT_EQ(m.Caption(), "harp");
    EXPECT_EQ(m.Title(), "KV String Synthesizer   (harp)");

    tStringModule other(0, 0);
    other.LoadPatchFile(path);
    EXPECT_EQ(other.Caption(), "harp");
    EXPECT_EQ(other.Title(), "KV String Synthesizer   (harp)");
    EXPECT_EQ(other.Controls().output.volume.Value(), 1.25);
    EXPECT_EQ(other.Controls().energy.filterOrder.Index(), 3);

    EXPECT_FALSE(m.SavePatchFile((dir / "no such dir" / "x.pst").string()));
    EXPECT_EQ(m.Title(), "KV String Synthesizer   (harp)");
    std::filesystem::remove_all(dir);
}

TEST(StringSynthModule, PlaysInTheRackOnItsChannel) {
    tRack rack;
    rack.SetChannels(2);
    auto* module = new tStringModule(50, 45);
    rack.Insert(module);
    {
        tRack::tGuard guard(rack);
        module->SwitchOn();
        module->SetChannel(3);
    }
    rack.NoteOn(0, 60, 100); // another channel: nothing sounds
    const double* mix = rack.Render(128);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(mix[i], 0.0);
    rack.NoteOn(2, 60, 100);
    mix = rack.Render(128);
    double energy = 0.0;
    for (int i = 0; i < 256; ++i) energy += mix[i] * mix[i];
    EXPECT_GT(energy, 0.0);
    EXPECT_EQ(mix[10], mix[11]); // stereo without auto pan: both channels alike
}
