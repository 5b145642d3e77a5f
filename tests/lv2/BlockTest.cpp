// Any block length a host uses sounds as 128-frame blocks do, with the MIDI events at the same
// frames inside the blocks: the same pitch, the same level in every 50 ms, no click where a
// block ends.
#include "Lv2Sound.h"

#include "common/RateMeasures.h"

#include <gtest/gtest.h>

namespace {

constexpr int kRate = 44100;
constexpr int kFrames = 44100;

struct tCase {
    const char* uri;
    const char* preset; // null: the effects plugin with a tone at its input
};

std::vector<tMidiAt> Events(bool flute) {
    std::vector<tMidiAt> events = {NoteOn(1000, 57), NoteOff(30011, 57)};
    if (!flute) {
        events.push_back(NoteOn(5003, 64, 90));
        events.push_back(NoteOff(30011, 64));
    }
    std::sort(events.begin(), events.end(),
              [](const tMidiAt& a, const tMidiAt& b) { return a.frame < b.frame; });
    return events;
}

std::vector<float> Tone() {
    std::vector<float> x(2 * kFrames);
    for (int i = 0; i < kFrames; ++i) {
        const double envelope = i < 1000 ? 0.0 : std::exp(-3e-5 * (i - 1000));
        x[2 * i] = x[2 * i + 1] =
            static_cast<float>(0.3 * envelope * std::sin(2.0 * M_PI * 220.0 * i / kRate));
    }
    return x;
}

// The whole second in calls of the given lengths (repeated), each event in the call holding
// its frame; also returns where the calls began.
std::vector<float> Play(const tCase& c, const std::vector<int>& lengths, std::vector<int>& edges) {
    tLv2Instance plugin(c.uri, kRate);
    if (c.preset != nullptr) {
        LilvState* preset = LoadPreset(c.preset);
        plugin.Restore(preset);
        lilv_state_free(preset);
    } else {
        plugin.Control("fx_reverb_on") = 1.0f;
        plugin.Control("fx_chorus_on") = 1.0f;
    }
    plugin.Activate();
    const std::vector<tMidiAt> events = c.preset != nullptr
                                            ? Events(std::string(c.uri) == "urn:kelvora:flute")
                                            : std::vector<tMidiAt>();
    const std::vector<float> input = c.preset == nullptr ? Tone() : std::vector<float>();
    std::vector<float> out;
    std::size_t next = 0;
    for (int done = 0, call = 0; done < kFrames; ++call) {
        const int n = std::min(lengths[call % lengths.size()], kFrames - done);
        std::vector<tMidiAt> due;
        for (; next < events.size() && events[next].frame < done + n; ++next)
            due.push_back({events[next].frame - done, events[next].bytes});
        const std::vector<float> in =
            input.empty()
                ? std::vector<float>()
                : std::vector<float>(input.begin() + 2 * done, input.begin() + 2 * (done + n));
        edges.push_back(done);
        plugin.Run(n, due, out, in);
        done += n;
    }
    return out;
}

double Rms(const std::vector<double>& x, std::size_t from, std::size_t n) {
    double sum = 0.0;
    for (std::size_t i = from; i < from + n; ++i) sum += x[i] * x[i];
    return std::sqrt(sum / n);
}

// The jump of the signal's slope (its second difference) at frame n.
double Kink(const std::vector<double>& x, std::size_t n) {
    return n >= 2 ? std::abs(x[n] - 2.0 * x[n - 1] + x[n - 2]) : 0.0;
}

// How many calls begin with a kink larger than any the 128-frame render has within 3 ms.
int Clicks(const std::vector<double>& x, const std::vector<int>& edges,
           const std::vector<double>& reference) {
    int clicks = 0;
    for (int e : edges) {
        double local = 0.0;
        for (int n = std::max(2, e - 128); n < std::min<int>(x.size(), e + 128); ++n)
            local = std::max(local, Kink(reference, n));
        if (Kink(x, e) > 1.25 * local + 1e-6) ++clicks;
    }
    return clicks;
}

} // namespace

TEST(Lv2Blocks, AnyBlockLengthSoundsAsBlocksOf128Do) {
    const tCase cases[] = {{"urn:kelvora:string", "SynPiano"},
                           {"urn:kelvora:flute", "Clarinet"},
                           {"urn:kelvora:effects", nullptr}};
    const std::vector<std::vector<int>> lengths = {
        {1}, {17}, {256}, {4096}, {1, 300, 64, 8192, 7, 1000}};
    for (const tCase& c : cases) {
        std::vector<int> referenceEdges;
        const std::vector<double> reference = Channel(Play(c, {128}, referenceEdges), 0);
        const double referencePitch = ratetest::Fundamental(reference, kRate, 0.3, 220.0);
        for (const std::vector<int>& length : lengths) {
            SCOPED_TRACE(std::string(c.uri) + ", blocks of " + std::to_string(length[0]) +
                         (length.size() > 1 ? " and more" : ""));
            std::vector<int> edges;
            const std::vector<double> x = Channel(Play(c, length, edges), 0);
            ASSERT_EQ(x.size(), reference.size());
            EXPECT_NEAR(
                ratetest::Cents(ratetest::Fundamental(x, kRate, 0.3, 220.0), referencePitch), 0.0,
                1.0);
            const std::size_t window = kRate / 20;
            for (std::size_t from = 0; from + window <= x.size(); from += window) {
                const double expected = Rms(reference, from, window);
                const double level = Rms(x, from, window);
                if (expected < 1e-4 && level < 1e-4) continue; // both silent
                EXPECT_NEAR(20.0 * std::log10(level / expected), 0.0, 0.5) << "at " << from;
            }
            EXPECT_EQ(Clicks(x, edges, reference), 0);
        }
    }
}
