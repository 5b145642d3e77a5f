// Started by root on behalf of an ordinary user, the program gives each realtime thread its
// scheduling and locks its memory before it gives up root's rights, once, for the whole
// process.

#include "app/Program.h"
#include "platform/Realtime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {
constexpr uid_t kNobody = 65534;

enum tFault {
    kNoUserSwitch = 1,
    kStartEnded = 2,
    kAudioNotRealtime = 4,
    kMidiNotRealtime = 8,
    kPrivilegesKept = 16,
    kLateThreadRealtime = 32,
    kMemoryNotLocked = 64,
};

// Runs in a child process whose real user is nobody and whose effective user is root.
int StartAsRootForNobody() {
    if (setresuid(kNobody, 0, 0) != 0) return kNoUserSwitch;
    setenv("HOME", "/nonexistent", 1);
    int fds[2];
    if (pipe(fds) != 0) return kStartEnded;
    int faults = 0;
    {
        tProgram program;
        char name[] = "kelvora";
        char* argv[] = {name, nullptr};
        // Standard input a pipe: the MIDI thread starts well after the audio thread.
        if (program.Start(1, argv, fds[0]).has_value()) return kStartEnded;
        if (!program.Audio().IsRealtime()) faults |= kAudioNotRealtime;
        if (!program.MidiIn().IsRealtime()) faults |= kMidiNotRealtime;
        if (geteuid() != kNobody || getuid() != kNobody) faults |= kPrivilegesKept;
        // A thread started now is refused: privileges are really gone.
        bool late = true;
        std::thread([&] { late = realtime::UseFifoScheduling(realtime::kPriority); }).join();
        if (late) faults |= kLateThreadRealtime;
        if (!program.MemoryLocked()) faults |= kMemoryNotLocked;
        close(fds[1]);
    }
    return faults;
}
} // namespace

TEST(Privileges, RealtimeThreadsScheduledBeforePrivilegesAreDroppedOnce) {
    if (getuid() != 0) GTEST_SKIP() << "needs root";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(StartAsRootForNobody());
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    const int faults = WEXITSTATUS(status);
    EXPECT_EQ(faults & kNoUserSwitch, 0);
    EXPECT_EQ(faults & kStartEnded, 0);
    EXPECT_EQ(faults & kAudioNotRealtime, 0) << "audio thread";
    EXPECT_EQ(faults & kMidiNotRealtime, 0) << "MIDI thread";
    EXPECT_EQ(faults & kPrivilegesKept, 0);
    EXPECT_EQ(faults & kLateThreadRealtime, 0);
    EXPECT_EQ(faults & kMemoryNotLocked, 0) << "with realtime scheduling the memory is locked";
}
