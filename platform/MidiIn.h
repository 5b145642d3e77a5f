// The MIDI input thread: raw MIDI bytes from a FIFO or a pipe, or events from the program's
// own ALSA sequencer port "Input", handed to the rack.
//
// Bytes go through the MIDI decoder; sequencer events through DeliverSequencerEvent. The
// thread sets its own realtime scheduling when it starts (privileges are the owner's to drop
// once every thread is scheduled). Every pass of its loop is counted in the load counters;
// when the normal-priority tick thread has not zeroed the count for more than 100 passes the
// thread sleeps 100 ms, so a flood of input cannot starve the machine.
//
// End of input: a FIFO named on the command line is closed and opened again, and the thread
// waits without using the processor until the next writer opens it (a MIDI source can be
// stopped and started again); standard input that was a pipe is not read again and the
// program runs on without MIDI.
#pragma once

#include "core/LoadCounters.h"
#include "core/MidiDecoder.h"
#include "core/MidiSink.h"
#include "platform/Realtime.h"

#include <atomic>
#include <string>
#include <sys/types.h>
#include <thread>

struct _snd_seq; // snd_seq_t

class tMidiIn {
public:
    static constexpr int kBackOffLoops = 100;
    static constexpr unsigned kBackOffMicroseconds = 100000;
    static constexpr const char* kClientName = "Kelvora v1.6.6 synthesizer";
    static constexpr const char* kPortName = "Input";

    tMidiIn(tMidiSink& sink, tLoadCounters& counters);
    // Ends the thread and closes the source.
    ~tMidiIn();
    tMidiIn(const tMidiIn&) = delete;
    tMidiIn& operator=(const tMidiIn&) = delete;

    // Starts reading raw MIDI bytes from fd, which this object then owns. With a reopen
    // path, end of input closes the descriptor and opens the path again; without one, end
    // of input ends the reading.
    void StartStream(int fd, const std::string& reopenPath);
    // Opens the sequencer (non-blocking input), names the client, creates the port "Input"
    // and starts the thread. False, after printing why, when the sequencer cannot be opened;
    // no thread is started then.
    bool StartSequencer();
    // Ends the thread (it is waiting for input, or sleeping at most 100 ms).
    void Stop();

    bool IsStarted() const { return mThread.joinable(); }
    // Returns when the thread has set its scheduling, at once when there is no thread.
    void WaitScheduled();
    bool IsRealtime() const { return mRealtime.load(); }
    // True while the thread reads its source.
    bool IsReading() const { return mReading.load(); }
    // How often the FIFO was opened again after its writer went away.
    int Reopens() const { return mReopens.load(); }
    // The kernel's id of the thread (0 until it runs), for measuring its processor time.
    pid_t ThreadId() const { return mThreadId.load(); }

private:
    void Start();
    void Run();
    void ReadStream();
    void ReadSequencer();
    bool Reopen();
    void BackOff();

    tMidiSink& mSink;
    tLoadCounters& mCounters;
    tMidiDecoder mDecoder;

    int mFd = -1;
    std::string mReopenPath;
    _snd_seq* mSequencer = nullptr;
    int mPort = -1;
    int mWake[2] = {-1, -1}; // Stop writes to [1]; the thread polls [0]

    tStartSignal mScheduled;
    std::atomic<bool> mStop{false};
    std::atomic<bool> mRealtime{false};
    std::atomic<bool> mReading{false};
    std::atomic<int> mReopens{0};
    std::atomic<pid_t> mThreadId{0};
    std::thread mThread;
};
