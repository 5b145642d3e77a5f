// The program's start-up before its window: command line over the rc file and the MIDI
// source. (The real program's exit statuses are checked by tests/scripts.)

#include "app/CommandLine.h"
#include "app/Program.h"
#include "core/Config.h"
#include "core/TextFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// An argument vector as main receives it.
class tArgs {
public:
    tArgs(std::initializer_list<std::string> args) : tArgs(std::vector<std::string>(args)) {}
    explicit tArgs(std::vector<std::string> args) : mTexts(std::move(args)) {
        mTexts.insert(mTexts.begin(), "kelvora");
        for (std::string& text : mTexts) mPointers.push_back(text.data());
        mPointers.push_back(nullptr);
    }
    int Count() const { return static_cast<int>(mTexts.size()); }
    char** Vector() { return mPointers.data(); }

private:
    std::vector<std::string> mTexts;
    std::vector<char*> mPointers;
};

struct tParsed {
    bool ok;
    std::string messages;
};

tParsed Parse(tArgs args, tConfig& config, tCommandLine& options) {
    testing::internal::CaptureStderr();
    const bool ok = ParseCommandLine(args.Count(), args.Vector(), config, options);
    return {ok, testing::internal::GetCapturedStderr()};
}

// A home directory with an rc file, for the length of a test.
class tHome {
public:
    explicit tHome(const std::string& rc) {
        char dir[] = "/tmp/kelvora-home-XXXXXX";
        EXPECT_NE(mkdtemp(dir), nullptr);
        mDir = dir;
        if (const char* home = std::getenv("HOME")) mOldHome = home;
        setenv("HOME", mDir.c_str(), 1);
        EXPECT_TRUE(WriteTextFile(mDir + "/.kelvorarc", rc));
    }
    ~tHome() {
        unlink((mDir + "/.kelvorarc").c_str());
        rmdir(mDir.c_str());
        setenv("HOME", mOldHome.c_str(), 1);
    }

private:
    std::string mDir;
    std::string mOldHome;
};

struct tStarted {
    std::optional<int> status;
    std::string messages;
};

tStarted StartProgram(tProgram& program, tArgs args, int standardInput) {
    testing::internal::CaptureStderr();
    const std::optional<int> status = program.Start(args.Count(), args.Vector(), standardInput);
    return {status, testing::internal::GetCapturedStderr()};
}

} // namespace

TEST(CommandLine, FrameSizeLimitedTo16Through256AndAnnounced) {
    const struct {
        const char* value;
        int period;
    } cases[] = {{"5", 16},  {"100", 100}, {"1000", 256},
                 {"16", 16}, {"-3", 16},   {"99999999999", 256}};
    for (const auto& c : cases) {
        tConfig config;
        tCommandLine options;
        const tParsed parsed = Parse({"-f", c.value}, config, options);
        EXPECT_TRUE(parsed.ok) << c.value;
        EXPECT_EQ(config.Period(), c.period) << c.value;
        EXPECT_EQ(parsed.messages, "audio period size set to: " + std::to_string(c.period) + "\n");
    }
    tConfig config;
    tCommandLine options;
    EXPECT_TRUE(Parse({"--framesize=100"}, config, options).ok);
    EXPECT_EQ(config.Period(), 100);
    EXPECT_EQ(config.PeriodPosition(), 4);
}

TEST(CommandLine, OptionsDeviceFifoIgnoredMidiOutAndRackFile) {
    tConfig config;
    tCommandLine options;
    const tParsed parsed = Parse({"-m", "hw:1", "--output=plughw:2", "-i", "first", "--midiin",
                                  "second", "--midiout", "x", "band.mst"},
                                 config, options);
    EXPECT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.messages, "");
    EXPECT_EQ(config.AudioDevice(), "plughw:2");
    EXPECT_EQ(config.Period(), tConfig::kDefaultPeriod);
    EXPECT_EQ(options.midiIn, "second");
    EXPECT_EQ(options.rackFile, "band.mst");

    // -m alone changes nothing at all.
    tConfig plain;
    tCommandLine none;
    EXPECT_TRUE(Parse({"-m", "whatever"}, plain, none).ok);
    EXPECT_EQ(plain.AudioDevice(), tConfig::kDefaultDevice);
    EXPECT_EQ(plain.Period(), tConfig::kDefaultPeriod);
    EXPECT_EQ(plain.Fragments(), tConfig::kDefaultFragments);
    EXPECT_TRUE(none.midiIn.empty());
    EXPECT_TRUE(none.rackFile.empty());
}

TEST(CommandLine, AudioSystemJackNameAutoconnectAndHeadless) {
    tConfig config;
    tCommandLine options;
    EXPECT_TRUE(options.autoconnect);
    EXPECT_EQ(options.jackName, "Kelvora");
    EXPECT_TRUE(Parse({"-a", "jack", "-n", "Synth 2", "--no-autoconnect", "-x", "band.mst"}, config,
                      options)
                    .ok);
    EXPECT_EQ(config.AudioSystem(), tConfig::kJack);
    EXPECT_EQ(options.jackName, "Synth 2");
    EXPECT_FALSE(options.autoconnect);
    EXPECT_TRUE(options.headless);
    EXPECT_EQ(options.rackFile, "band.mst");
    EXPECT_TRUE(Parse({"--audio=alsa", "--headless", "--name=K"}, config, options).ok);
    EXPECT_EQ(config.AudioSystem(), tConfig::kAlsa);
    EXPECT_EQ(options.jackName, "K");
}

TEST(CommandLine, HelpUnknownOptionsAndMissingArgumentsGiveTheUsage) {
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"-h"},
                                               {"--help"},
                                               {"-z"},
                                               {"-a", "oss"},
                                               {"--name="},
                                               {"--loud"},
                                               {"-f"},
                                               {"--output"},
                                               {"a.mst", "b.mst"},
                                               {"-r", "8000"},
                                               {"--rate=44.1k"},
                                               {"--rate=192001"},
                                               {"-r"}}) {
        tConfig config;
        tCommandLine options;
        const tParsed parsed = Parse(tArgs(bad), config, options);
        EXPECT_FALSE(parsed.ok) << bad[0];
        EXPECT_NE(parsed.messages.find("\nKelvora v1.6.8\n\nMidi event triggered realtime "
                                       "software synthesizer with support for ALSA v0.9.\n\n"),
                  std::string::npos)
            << parsed.messages;
        EXPECT_NE(parsed.messages.find("For best runtime performance Kelvora should be started "
                                       "with root privileges.\n\nA rack file named after the "
                                       "options is loaded at start-up"),
                  std::string::npos);
    }
}

TEST(CommandLine, RateTakesTheRatesTheEngineAccepts) {
    for (const int rate : {22050, 48000, 88200, 192000}) {
        tConfig config;
        tCommandLine options;
        EXPECT_TRUE(Parse({"-r", std::to_string(rate)}, config, options).ok);
        EXPECT_EQ(config.SampleRate(), rate);
    }
    tConfig config;
    tCommandLine options;
    const tParsed parsed = Parse({"--rate=8000"}, config, options);
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ(parsed.messages.rfind("sample rate 8000 is not a rate of 22050..192000 Hz\n", 0), 0u)
        << parsed.messages;
    EXPECT_NE(parsed.messages.find(" -r hz , --rate=hz "), std::string::npos);
    EXPECT_EQ(config.SampleRate(), 44100);
}

TEST(ProgramStart, OptionsOverrideTheRcFileAndStereoIsSelected) {
    tHome home("AudioDevice=plughw:3\nPeriodSize=64\nNumFragments=3\nSampleRate=96000\n");
    tProgram program;
    const int devNull = open("/dev/null", O_RDONLY);
    const tStarted started = StartProgram(program, {"-f", "100", "-r", "48000"}, devNull);
    close(devNull);
    EXPECT_FALSE(started.status.has_value());
    EXPECT_EQ(program.Config().SampleRate(), 48000);
    EXPECT_EQ(program.Config().Period(), 100);
    EXPECT_EQ(program.Config().AudioDevice(), "plughw:3");
    EXPECT_EQ(program.Config().Fragments(), 3);
    // No FIFO, standard input not a pipe, and no sequencer on this machine: the program
    // runs on without MIDI.
    EXPECT_NE(started.messages.find("audio period size set to: 100\n"), std::string::npos);
    EXPECT_NE(started.messages.find("open of ALSA sequencer failed: "), std::string::npos)
        << started.messages;
    EXPECT_FALSE(program.MidiIn().IsStarted());
    EXPECT_EQ(program.AudioSwitch().Channels(), 2);
    EXPECT_EQ(program.Rack().Channels(), 2);
    EXPECT_FALSE(program.AudioSwitch().IsOn());
}

TEST(ProgramStart, PipedStandardInputIsTheMidiSource) {
    tHome home("");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    tProgram program;
    const tStarted started = StartProgram(program, {}, fds[0]);
    EXPECT_FALSE(started.status.has_value());
    EXPECT_EQ(started.messages, "midi input fifo detected.\n");
    EXPECT_TRUE(program.MidiIn().IsReading());
    close(fds[1]);
}
