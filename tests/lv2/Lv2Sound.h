// Playing the same notes through the plugin and through kelvora-render, and the measures that
// compare them.
#pragma once

#include "Lv2Host.h"

#include "core/MasterControls.h"
#include "core/MasterStage.h"
#include "render/RenderTool.h"
#include "render/SmfWriter.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

// Notes at times in seconds, on MIDI channel 1 (the channel a preset's instrument plays).
struct tNote {
    double seconds;
    std::vector<std::uint8_t> bytes;
};

// A Standard MIDI File of the notes: 480 ticks a quarter at 120 beats a minute, 960 a second.
inline void WritePhrase(const std::string& path, const std::vector<tNote>& notes) {
    std::vector<tSmfEvent> track;
    for (const tNote& note : notes)
        track.push_back({static_cast<std::uint32_t>(std::lround(note.seconds * 960)), note.bytes});
    WriteBytes(path, SmfBytes(0, 480, {track}));
}

inline std::vector<tNote> ShortPhrase() {
    return {{0.0, {0x90, 60, 100}}, {0.25, {0x90, 64, 90}}, {0.5, {0x90, 67, 110}},
            {0.75, {0x80, 60, 0}},  {0.8, {0x90, 72, 80}},  {1.0, {0x80, 64, 0}},
            {1.0, {0x80, 67, 0}},   {1.25, {0x80, 72, 0}}};
}

// kelvora-render's WAV for the preset and the notes, at rate, with the limiter off.
inline tWav RenderedByRenderer(const std::string& label, const std::vector<tNote>& notes, int rate,
                               double tail) {
    const std::string dir = MakeTempDir();
    WritePhrase(dir + "/phrase.mid", notes);
    const tRunResult run = RunRender(dir, "--preset " + label + " --midi phrase.mid --no-limiter" +
                                              " --rate " + std::to_string(rate) + " --tail " +
                                              std::to_string(tail) + " -o out.wav");
    tWav wav;
    if (run.status == 0) ReadWav(dir + "/out.wav", wav);
    RemoveTree(dir);
    return wav;
}

// The plugin with the preset applied, played the notes as the renderer plays them: in blocks
// of 128 frames, each note at the start of the block its time falls in. Interleaved stereo,
// blocks frames.
inline std::vector<float> RenderedByPlugin(const std::string& uri, const std::string& label,
                                           const std::vector<tNote>& notes, int rate, long blocks) {
    tLv2Instance plugin(uri, rate);
    std::vector<float> out;
    if (!plugin.Ok()) return out;
    if (LilvState* preset = LoadPreset(label)) {
        plugin.Restore(preset);
        lilv_state_free(preset);
    }
    plugin.Activate();
    std::size_t next = 0;
    for (long block = 0; block < blocks; ++block) {
        std::vector<tMidiAt> due;
        for (; next < notes.size() && std::llround(notes[next].seconds * rate) < (block + 1) * 128;
             ++next)
            due.push_back({0, notes[next].bytes});
        plugin.Run(128, due, out);
    }
    return out;
}

// The plugin's output through the master stage the renderer uses (volume 1.5, limiter off)
// as 16-bit samples, in 128-frame blocks.
inline std::vector<std::int16_t> AsRendererSamples(const std::vector<float>& out, int rate) {
    tMasterControls controls;
    controls.volume.Set(1.5);
    controls.limiter.Set(0.0);
    tMasterStage master(controls);
    master.SetSampleRate(rate);
    std::vector<std::int16_t> samples(out.size());
    std::vector<double> mix(256), scaled(256);
    for (std::size_t at = 0; at + 256 <= out.size(); at += 256) {
        std::copy(out.begin() + static_cast<long>(at), out.begin() + static_cast<long>(at) + 256,
                  mix.begin());
        master.Process(mix.data(), 128, 2, scaled.data());
        tMasterStage::ToSamples(scaled.data(), 256, samples.data() + at);
    }
    return samples;
}

// One channel of interleaved stereo, as doubles.
template <typename T> std::vector<double> Channel(const std::vector<T>& interleaved, int channel) {
    std::vector<double> x(interleaved.size() / 2);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = interleaved[2 * i + channel];
    return x;
}
