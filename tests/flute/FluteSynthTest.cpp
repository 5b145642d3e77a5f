#include "flute/FluteSynth.h"
#include "catalog/PresetTexts.h"
#include "core/Rack.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

std::unique_ptr<tFluteSynth> MakeOnModule() {
    auto module = std::make_unique<tFluteSynth>(190, 50);
    module->SwitchOn();
    return module;
}

// Renders blocks of 128 frames until the count of samples given.
void RenderSamples(tFluteSynth& module, int samples) {
    for (int done = 0; done < samples; done += 128) module.Render(128);
}

double Rms(const double* x, int n) {
    double sum = 0.0;
    for (int i = 0; i < n; ++i) sum += x[i] * x[i];
    return std::sqrt(sum / n);
}

double BlockPeak(tFluteSynth& module, int frames) {
    module.Render(frames);
    double peak = 0.0;
    for (int i = 0; i < frames * module.Channels(); ++i)
        peak = std::max(peak, std::fabs(module.Output()[i]));
    return peak;
}

} // namespace

TEST(FluteSynth, NewModuleIsOffWithMidiControllersOnAndItsOwnTitle) {
    tFluteSynth module(190, 50);
    EXPECT_EQ(module.Type(), 2);
    EXPECT_FALSE(module.IsOn());
    EXPECT_FALSE(module.AcceptsInput());
    EXPECT_EQ(module.Title(), "KV Flute Synthesizer");
    EXPECT_EQ(module.Caption(), "<" + std::to_string(module.Id()) + ">");
    EXPECT_TRUE(module.Controls().midiController.IsOn());
    EXPECT_STREQ(module.PatchExtension(), ".flt");
    EXPECT_EQ(module.GetPolyphony(), 1);

    module.NoteOn(60, 100); // ignored while off
    module.Render(128);
    EXPECT_FALSE(module.IsActive());
    EXPECT_FALSE(module.Voice(0).isSounding() || module.Voice(1).isSounding());
    module.SwitchOn();
    EXPECT_TRUE(module.Controls().play.IsOn());
    module.SwitchOff();
    EXPECT_FALSE(module.Controls().play.IsOn());
}

TEST(FluteSynth, OverlappingNotesUseAlternateVoicesAndIgnoreTheFirstKeysNoteOff) {
    auto module = MakeOnModule();
    module->NoteOn(60, 100);
    EXPECT_EQ(module->CurrentVoice(), 1);
    RenderSamples(*module, 1024);
    EXPECT_TRUE(module->IsActive());
    module->NoteOn(64, 100);
    EXPECT_EQ(module->CurrentVoice(), 0);
    EXPECT_EQ(module->HeldKey(), 64);
    EXPECT_TRUE(module->Voice(1).isSounding()); // fading over its release
    module->NoteOff(60);                        // not the held key: ignored
    RenderSamples(*module, 256);
    EXPECT_FALSE(module->Voice(1).isSounding());
    EXPECT_TRUE(module->Voice(0).isSounding());
    EXPECT_EQ(module->HeldKey(), 64);
    RenderSamples(*module, 2048);
    EXPECT_TRUE(module->Voice(0).isSounding());

    module->NoteOff(64);
    EXPECT_EQ(module->HeldKey(), -1);
    RenderSamples(*module, 256);
    EXPECT_FALSE(module->Voice(0).isSounding());
    module->Render(128);
    EXPECT_FALSE(module->IsActive());
}

TEST(FluteSynth, SustainControllerBelow64EndsTheNote) {
    auto module = MakeOnModule();
    module->NoteOn(67, 90);
    module->Controller(0, 64, 127);
    RenderSamples(*module, 512);
    EXPECT_EQ(module->HeldKey(), 67);
    EXPECT_TRUE(module->Voice(module->CurrentVoice()).isSounding());
    module->Controller(0, 64, 0);
    EXPECT_EQ(module->HeldKey(), -1);
    RenderSamples(*module, 256);
    EXPECT_FALSE(module->Voice(module->CurrentVoice()).isSounding());
}

TEST(FluteSynth, PitchBendAndVolumeAlwaysActControllerTableOnlyWhenEnabled) {
    auto module = MakeOnModule();
    tFluteControls& c = module->Controls();
    module->Controller(0, -1, 0);
    EXPECT_DOUBLE_EQ(module->BendFactor(), 1.6);
    module->Controller(0, -1, 16383);
    EXPECT_NEAR(module->BendFactor(), 0.2001, 1e-4);
    EXPECT_DOUBLE_EQ(module->BendFactor(), 1.0 - 0.8 * 8191.0 / 8192.0);

    // The integer laws and the ends of the scaled ones.
    module->Controller(0, 13, 64);
    EXPECT_DOUBLE_EQ(c.oscillator.boreScale.Value(), 5.0); // 1 + 576 / 127
    module->Controller(0, 20, 70);
    EXPECT_DOUBLE_EQ(c.pressure.attack.Value(), 11.0); // 1400 / 127
    module->Controller(0, 24, 127);
    EXPECT_EQ(c.outputFilter.type.Index(), 4);
    module->Controller(0, 22, 0);
    EXPECT_DOUBLE_EQ(c.outputFilter.frequency.Value(), 0.05);
    module->Controller(0, 12, 127);
    EXPECT_NEAR(c.oscillator.embroSize.Value(), 0.70, 1e-12);
    module->Controller(0, 19, 127);
    EXPECT_DOUBLE_EQ(c.pressure.pressure.Value(), 1.0);

    // Another channel changes nothing, not even the controllers that always act.
    module->Controller(3, 7, 0);
    module->Controller(3, 11, 127);
    EXPECT_DOUBLE_EQ(module->VolumeFactor(), 1.0);
    EXPECT_DOUBLE_EQ(c.oscillator.frequency.Value(), 0.795);

    // With "midi controller" off only 7, 64, 121 and pitch bend act.
    c.midiController.Set(0);
    for (int number = 1; number <= 24; ++number)
        if (number != 7) module->Controller(0, number, 0);
    EXPECT_DOUBLE_EQ(c.oscillator.frequency.Value(), 0.795);
    EXPECT_DOUBLE_EQ(c.pressure.pressure.Value(), 1.0);
    EXPECT_EQ(c.outputFilter.type.Index(), 4);
    module->Controller(0, 7, 0);
    EXPECT_DOUBLE_EQ(module->VolumeFactor(), 0.0);
    module->Controller(0, -1, 0);
    EXPECT_DOUBLE_EQ(module->BendFactor(), 1.6);

    module->NoteOn(60, 100);
    module->Controller(0, 121, 0);
    EXPECT_DOUBLE_EQ(module->VolumeFactor(), 1.0);
    EXPECT_DOUBLE_EQ(module->BendFactor(), 1.0);
    EXPECT_EQ(module->HeldKey(), -1);
}

TEST(FluteSynth, VelocityScalesPressureAndBreath) {
    EXPECT_EQ(tFluteSynth::VelocityFactor(0), 0.0);
    EXPECT_NEAR(tFluteSynth::VelocityFactor(127), 1.0, 1e-9);
    auto module = MakeOnModule();
    tFluteControls& c = module->Controls();
    c.pressure.pressure.Set(0.5);
    c.breath.amplitude.Set(0.4);
    module->NoteOn(60, 127);
    const tFluteVoice& loud = module->Voice(module->CurrentVoice());
    EXPECT_NEAR(loud.pressure(), 0.9 * 0.5 * 0.9090909090909091 * 1.6, 1e-9);
    EXPECT_NEAR(loud.breathLevel(), 0.4 * 0.05 * 2.0, 1e-9);
    module->NoteOn(60, 0);
    const tFluteVoice& soft = module->Voice(module->CurrentVoice());
    EXPECT_DOUBLE_EQ(soft.pressure(), 0.9 * 0.5 * 0.9090909090909091);
    EXPECT_DOUBLE_EQ(soft.breathLevel(), 0.4 * 0.05);
    EXPECT_TRUE(soft.isSounding()); // velocity 0 still plays
}

TEST(FluteSynth, LiveParametersFollowTheWidgetsBlockByBlockOthersWaitForTheNextNote) {
    auto module = MakeOnModule();
    tFluteControls& c = module->Controls();
    module->NoteOn(69, 100);
    const tFluteVoice& voice = module->Voice(module->CurrentVoice());
    module->Render(128);
    const double v = voice.velocity();

    c.pressure.pressure.Set(0.2);
    c.oscillator.feedBore.Set(0.9);
    c.outputControl.mute.Set(0);
    c.oscillator.type.Set(0);          // only at the next note
    c.breath.attackAmplitude.Set(1.0); // only at the next note
    module->Controller(0, 7, 64);
    EXPECT_NE(voice.feedBore(), 0.9);
    module->Render(128);
    EXPECT_DOUBLE_EQ(voice.pressure(), 0.9 * 0.2 * 0.9090909090909091 * (1.0 + 0.6 * v));
    EXPECT_DOUBLE_EQ(voice.feedBore(), 0.9);
    EXPECT_DOUBLE_EQ(voice.level(), (std::exp(1.7 / 3.0) - 1.0) * 64 * 0.007874015748031496);
    EXPECT_EQ(voice.model(), 1);
    EXPECT_DOUBLE_EQ(voice.breathBoost(), 1.0);

    // "embro. size" glides over the block to its new length.
    c.oscillator.embroSize.Set(0.3);
    module->Controller(0, -1, 0); // bend down: × 1.6
    module->Render(64);
    EXPECT_EQ(voice.glideLeft(), 0);
    EXPECT_NEAR(voice.jetRatio(), 0.48, 1e-12);
    EXPECT_EQ(voice.jet().length(), static_cast<int>(44100 * 0.48 / 440.0 + 2));
}

TEST(FluteSynth, StereoCarriesTheMonoSignalOnBothChannels) {
    // Two modules on the same random sequence: one mono, one stereo.
    std::vector<double> mono;
    std::vector<double> stereo;
    for (int channels : {1, 2}) {
        threadRandom.seed(21);
        auto module = std::make_unique<tFluteSynth>(0, 0);
        module->SetChannels(channels);
        module->SwitchOn();
        module->NoteOn(72, 100);
        for (int block = 0; block < 20; ++block) {
            module->Render(100);
            std::vector<double>& out = channels == 1 ? mono : stereo;
            out.insert(out.end(), module->Output(), module->Output() + 100 * channels);
        }
    }
    ASSERT_EQ(stereo.size(), 2 * mono.size());
    double energy = 0.0;
    for (std::size_t i = 0; i < mono.size(); ++i) {
        ASSERT_EQ(stereo[2 * i], mono[i]) << i;
        ASSERT_EQ(stereo[2 * i + 1], mono[i]) << i;
        energy += mono[i] * mono[i];
    }
    EXPECT_GT(energy, 0.0);
}

TEST(FluteSynth, ChannelChangeAndAllNotesOffSilenceAndResetControllers) {
    auto module = MakeOnModule();
    module->NoteOn(60, 100);
    module->Controller(0, 7, 10);
    RenderSamples(*module, 512);
    module->SetChannel(5);
    EXPECT_EQ(module->GetChannel(), 4);
    EXPECT_EQ(module->Controls().midiChannel.Index(), 4);
    EXPECT_DOUBLE_EQ(module->VolumeFactor(), 1.0);
    EXPECT_EQ(module->HeldKey(), -1);
    EXPECT_EQ(BlockPeak(*module, 128), 0.0);
    EXPECT_FALSE(module->IsActive());

    module->NoteOn(60, 100);
    RenderSamples(*module, 512);
    EXPECT_GT(BlockPeak(*module, 128), 0.0);
    module->Controller(4, -1, 0);
    module->AllNotesOff();
    EXPECT_DOUBLE_EQ(module->BendFactor(), 1.0);
    EXPECT_EQ(BlockPeak(*module, 128), 0.0);
}

// A note that needs the other voice while it still fades lets that fade play out, at every
// rate: a chord on a held note, and a note right after a note-off, neither cuts nor swells
// the fading note. An all-notes-off silences every voice and fade at once.
TEST(FluteSynth, NotesTakingAFadingVoiceLetItFadeOut) {
    for (int rate : {44100, 96000}) {
        SCOPED_TRACE(rate);
        tFluteSynth module(190, 50);
        module.SetSampleRate(rate);
        module.SwitchOn();
        const int release = module.Voice(0).releaseLength();
        module.NoteOn(57, 100);
        RenderSamples(module, rate / 4);
        module.Render(32);
        const double held = Rms(module.Output(), 32);
        const double last = module.Output()[31];
        // Three notes in one block: the second takes the held note's voice.
        for (int key : {60, 64, 67}) module.NoteOn(key, 100);
        module.Render(32);
        EXPECT_NEAR(module.Output()[0], last, 0.25 * held);
        EXPECT_GT(Rms(module.Output(), 32), 0.5 * held);
        EXPECT_EQ(module.TailLeft(), release - 32);
        RenderSamples(module, rate / 4);

        // A new note just after the note-off: the fading note keeps falling.
        module.NoteOff(67);
        module.Render(release / 2);
        const double fading = BlockPeak(module, 32);
        module.NoteOn(69, 100);
        EXPECT_LT(BlockPeak(module, release / 2), fading);

        module.NoteOn(72, 100);
        module.Render(16);
        module.NoteOn(74, 100);
        EXPECT_GT(module.TailLeft(), 0);
        module.AllNotesOff();
        EXPECT_EQ(BlockPeak(module, 128), 0.0);
        EXPECT_FALSE(module.IsActive());
    }
}

TEST(FluteSynth, PatchesSetCaptionAndTitle) {
    auto module = std::make_unique<tFluteSynth>(50, 45);
    std::istringstream preset(PresetTable()[FindPreset("BrightFlute")].flute);
    module->ReadPatch("BrightFlute", preset);
    EXPECT_EQ(module->Caption(), "BrightFlute");
    EXPECT_EQ(module->Title(), "KV Flute Synthesizer   (BrightFlute)");
    EXPECT_FALSE(module->Controls().midiController.IsOn());

    std::istringstream clarinet(PresetTable()[FindPreset("Clarinet")].flute);
    module->ReadPatch("/some/dir/clar.flt", clarinet);
    EXPECT_EQ(module->Caption(), "clar");
    EXPECT_EQ(module->Title(), "KV Flute Synthesizer   (/some/dir/clar.flt)");

    // Saving forces the extension; the title and caption take the file's base name.
    char directory[] = "/tmp/kelvora-flute-XXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    const std::string base = std::string(directory) + "/mellow";
    module->Controls().oscillator.feedEmb.Set(0.77);
    ASSERT_TRUE(module->SavePatchFile(base + ".txt"));
    EXPECT_EQ(module->Caption(), "mellow");
    EXPECT_EQ(module->Title(), "KV Flute Synthesizer   (mellow)");
    std::ifstream saved(base + ".flt");
    std::stringstream text;
    text << saved.rdbuf();
    std::ostringstream written;
    module->WritePatch(written);
    EXPECT_EQ(text.str(), written.str());
    EXPECT_EQ(text.str().rfind("11\n-1.68 ", 0), 0u);

    auto other = std::make_unique<tFluteSynth>(50, 45);
    other->LoadPatchFile(base + ".flt");
    EXPECT_DOUBLE_EQ(other->Controls().oscillator.feedEmb.Value(), 0.77);
    EXPECT_EQ(other->Controls().oscillator.type.Index(), 0);
    EXPECT_EQ(other->Caption(), "mellow");
    EXPECT_EQ(other->Title(), "KV Flute Synthesizer   (mellow)");

    EXPECT_FALSE(module->SavePatchFile(std::string(directory) + "/missing/x.flt"));
    EXPECT_EQ(module->Caption(), "mellow");
    std::remove((base + ".flt").c_str());
    rmdir(directory);
}

// Flute note-ons draw on the rack's budget too: a full queue of them reaches the module over
// more than one block, in order.
TEST(FluteSynth, AFullQueueOfNotesReachesTheModuleOverBlocksOfTheRacksBudget) {
    tRack rack;
    auto* module = new tFluteSynth(190, 50);
    rack.Insert(module);
    {
        tRack::tGuard guard(rack);
        module->SwitchOn();
    }
    rack.SetRendering(true);
    const int notes = static_cast<int>(tEventQueue::kCapacity);
    for (int k = 0; k < notes; ++k) rack.NoteOn(0, k % 100, 100);
    rack.Render(128);
    EXPECT_GT(rack.WaitingEvents(), 0);
    int blocks = 1;
    for (; rack.WaitingEvents() > 0 && blocks < 20; ++blocks) rack.Render(128);
    EXPECT_EQ(rack.WaitingEvents(), 0);
    EXPECT_EQ(module->HeldKey(), (notes - 1) % 100);
    EXPECT_EQ(rack.DroppedEvents(), 0u);
    rack.SetRendering(false);
}
