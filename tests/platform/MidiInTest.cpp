// The MIDI input thread on a real FIFO and a real pipe.

#include "platform/MidiIn.h"

#include "core/RecordingSink.h"
#include "platform/TickThread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <initializer_list>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using Events = std::vector<std::string>;

void Write(int fd, std::initializer_list<int> bytes) {
    for (int b : bytes) {
        const auto byte = static_cast<std::uint8_t>(b);
        ASSERT_EQ(write(fd, &byte, 1), 1);
    }
}

// Processor time the thread has used, in clock ticks (user + system).
long ThreadTicks(pid_t tid) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The fields after the command name, which is in parentheses: state is field 3, utime 14.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14) utime = std::stol(field);
        if (index == 15) {
            stime = std::stol(field);
            break;
        }
    }
    return utime + stime;
}

// Ticks the thread uses during half a second (100 ticks a second: a busy thread uses 50).
long TicksInHalfASecond(pid_t tid) {
    const long before = ThreadTicks(tid);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    return ThreadTicks(tid) - before;
}

bool WaitUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

class tFifo {
public:
    tFifo() {
        char dir[] = "/tmp/kelvora-fifo-XXXXXX";
        EXPECT_NE(mkdtemp(dir), nullptr);
        mDir = dir;
        EXPECT_EQ(mkfifo(Path().c_str(), 0600), 0);
    }
    ~tFifo() {
        unlink(Path().c_str());
        rmdir(mDir.c_str());
    }
    std::string Path() const { return mDir + "/midi"; }

private:
    std::string mDir;
};

} // namespace

TEST(MidiIn, FifoEndOfInputWaitsForTheNextWriterWithoutUsingTheProcessor) {
    tFifo fifo;
    // As start-up leaves it: a blocking descriptor, opened once a writer came.
    const int reader = open(fifo.Path().c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    int writer = open(fifo.Path().c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    fcntl(reader, F_SETFL, fcntl(reader, F_GETFL) & ~O_NONBLOCK);

    tRecordingSink sink;
    tLoadCounters counters;
    tTickThread tick(counters); // as in the program: the back-off alone does not hide a spin
    tMidiIn midi(sink, counters);
    midi.StartStream(reader, fifo.Path());
    midi.WaitScheduled();

    // Running status and a note-on with velocity 0; the writer leaves in mid-message.
    Write(writer, {0x90, 0x3C, 0x40, 0x3E, 0x40, 0x3C, 0x00, 0x91, 0x40});
    EXPECT_EQ(sink.WaitForEvents(3), (Events{"on 0 60 64", "on 0 62 64", "off 0 60"}));
    close(writer);
    ASSERT_TRUE(WaitUntil([&] { return midi.Reopens() == 1; }));

    EXPECT_LE(TicksInHalfASecond(midi.ThreadId()), 3);
    EXPECT_TRUE(midi.IsReading());
    EXPECT_EQ(midi.Reopens(), 1);

    // The next writer is heard; the cut-off message is not completed by its first byte.
    writer = open(fifo.Path().c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    Write(writer, {0x40, 0x92, 0x45, 0x7F});
    EXPECT_EQ(sink.WaitForEvents(4),
              (Events{"on 0 60 64", "on 0 62 64", "off 0 60", "on 2 69 127"}));
    close(writer);
    ASSERT_TRUE(WaitUntil([&] { return midi.Reopens() == 2; }));
    EXPECT_LE(TicksInHalfASecond(midi.ThreadId()), 3);
    midi.Stop(); // also while waiting for a writer
    EXPECT_FALSE(midi.IsReading());
}

TEST(MidiIn, PipedInputEndsReadingAndTheProgramRunsOn) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    tRecordingSink sink;
    tLoadCounters counters;
    tTickThread tick(counters);
    tMidiIn midi(sink, counters);
    midi.StartStream(fds[0], "");
    Write(fds[1], {0xB3, 0x0A, 0x20, 0xE3, 0x00, 0x40, 0xB5, 0x7B, 0x00});
    EXPECT_EQ(sink.WaitForEvents(4),
              (Events{"ctl 3 10 32", "pan 3 32", "ctl 3 -1 8192", "all-off 5"}));
    close(fds[1]);
    EXPECT_TRUE(WaitUntil([&] { return !midi.IsReading(); }));
    EXPECT_EQ(midi.Reopens(), 0);
    EXPECT_EQ(sink.Events().size(), 4u);
}
