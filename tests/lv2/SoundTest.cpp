// The plugins play what the renderer plays: every built-in preset sample for sample, an A4 at
// the renderer's pitch at three rates, and the effects plugin processing its input.
#include "Lv2Sound.h"

#include "catalog/PresetTexts.h"
#include "common/RateMeasures.h"

#include <gtest/gtest.h>

namespace {

const char* PluginOf(const tPresetTexts& preset) {
    return preset.flute != nullptr ? "urn:kelvora:flute" : "urn:kelvora:string";
}

} // namespace

TEST(Lv2Sound, EveryBuiltInPresetGivesTheRenderersSamples) {
    const std::vector<tNote> notes = ShortPhrase();
    const double tail = 0.5;
    for (int i = 0; i < kPresetCount; ++i) {
        const tPresetTexts& preset = PresetTable()[i];
        SCOPED_TRACE(preset.label);
        const tWav wav = RenderedByRenderer(preset.label, notes, 44100, tail);
        ASSERT_EQ(wav.channels, 2);
        // The file starts with the block of silence a sound card receives first.
        const long blocks = static_cast<long>(wav.Frames() / 128) - 1;
        ASSERT_GT(blocks, 100);
        const std::vector<std::int16_t> plugin = AsRendererSamples(
            RenderedByPlugin(PluginOf(preset), preset.label, notes, 44100, blocks), 44100);
        ASSERT_EQ(plugin.size(), static_cast<std::size_t>(blocks) * 256);
        int worst = 0;
        double energy = 0.0;
        for (std::size_t k = 0; k < plugin.size(); ++k) {
            worst = std::max(worst, std::abs(plugin[k] - wav.samples[256 + k]));
            energy += static_cast<double>(plugin[k]) * plugin[k];
        }
        EXPECT_LE(worst, 1);
        EXPECT_GT(energy / plugin.size(), 100.0); // it sounds
    }
}

TEST(Lv2Sound, AnA4SoundsAtTheRenderersPitchAtEveryRate) {
    const std::vector<tNote> note = {{0.0, {0x90, 69, 100}}, {1.2, {0x80, 69, 0}}};
    for (const char* label : {"SynPiano", "Clarinet"}) {
        const bool flute = std::string(label) == "Clarinet";
        for (int rate : {44100, 48000, 96000}) {
            SCOPED_TRACE(std::string(label) + " at " + std::to_string(rate));
            const tWav wav = RenderedByRenderer(label, note, rate, 0.3);
            ASSERT_EQ(wav.rate, rate);
            const long blocks = static_cast<long>(wav.Frames() / 128) - 1;
            const std::vector<float> plugin = RenderedByPlugin(
                flute ? "urn:kelvora:flute" : "urn:kelvora:string", label, note, rate, blocks);
            // The file starts with a block of silence.
            const std::vector<double> file = Channel(wav.samples, 0);
            const std::vector<double> rendered(file.begin() + 128, file.end());
            const double expected = ratetest::Fundamental(rendered, rate, 0.4, 440.0);
            const double played = ratetest::Fundamental(Channel(plugin, 0), rate, 0.4, 440.0);
            EXPECT_NEAR(ratetest::Cents(played, expected), 0.0, 1.0)
                << played << " Hz, " << expected;
            EXPECT_NEAR(ratetest::Cents(played, 440.0), 0.0, 50.0);
        }
    }
}
