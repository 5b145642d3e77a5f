// The JACK back-end: Kelvora as a client of a JACK server (jackd, or PipeWire's JACK layer).
//
// "On" opens the client with the audio output ports "out_1" and "out_2" ("out_1" alone in
// mono) and the MIDI input port "midi_in", prepares the engine at the server's rate, activates
// the client and, unless told not to, connects the outputs to the first two physical playback
// ports. "Off" deactivates and closes it. Without a server "On" fails at once (libjack is
// told never to start one) with "JACK server not running" and what to start.
//
// The engine renders inside the server's process callback: any period the server uses (and
// changes to it while running) in pieces of at most tEngine::kMaxPiece frames, every JACK MIDI
// event at its own frame, floats straight into the ports. The callback allocates nothing, takes
// no lock and does no I/O; its share of the period drives the load meter, and the xruns the
// server reports are counted where the ALSA path counts underruns. MIDI from the FIFO, a pipe
// and the sequencer reaches the rack through its queue as under ALSA.
//
// What the server does to the client is handled off its threads, by a watcher thread of this
// object: the server shutting down switches audio off (the window is told why, the program
// runs on); a new sample rate switches audio off and on again at that rate; an overload
// switches audio off as on the ALSA path.
#pragma once

#include "core/AudioSwitch.h"
#include "core/Engine.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class tRack;
class tMasterStage;
struct tMasterControls;
struct _jack_client; // jack_client_t
struct _jack_port;   // jack_port_t

struct tJackSettings {
    std::string clientName = "Kelvora";
    bool autoconnect = true;
    std::string serverName; // empty: the default server (or JACK_DEFAULT_SERVER)
};

class tJackAudio : public tAudioSwitch {
public:
    // Frames rendered by one engine call; longer periods take several.
    static constexpr int kMaxFrames = 8192;
    // JACK MIDI events collected for one engine call; more are taken in a further call.
    static constexpr int kMaxEvents = 1024;
    static constexpr int kWatchMilliseconds = 50;
    static constexpr const char* kNoServer = "JACK server not running";

    tJackAudio(tRack& rack, tMasterStage& master, tMasterControls& controls);
    ~tJackAudio() override;
    tJackAudio(const tJackAudio&) = delete;
    tJackAudio& operator=(const tJackAudio&) = delete;

    // Taken at the next start.
    void SetSettings(const tJackSettings& settings);
    tJackSettings Settings() const;

    bool Start() override;
    void Stop() override;
    bool IsOn() const override { return mOn.load(); }
    void SetChannels(int channels) override;
    int Channels() const override { return mChannels.load(); }
    std::string FailureMessage() const override;

    // The client's name as the server gave it (empty while off), the rate the engine runs
    // at, the server's period.
    std::string ClientName() const;
    int SampleRate() const { return mRate.load(); }
    int Period() const { return mPeriod.load(); }
    unsigned Xruns() const { return mXruns.load(); }
    // Process callbacks since the program started, and the processor time they took as a
    // share of their periods: the mean and the largest.
    struct tCost {
        unsigned long long periods = 0;
        double meanShare = 0.0;
        double maxShare = 0.0;
    };
    tCost Cost() const;

    // What the server tells the client, as its callbacks do (the tests call them too).
    void ServerRateChanged(int rate);
    void ServerShutDown();

private:
    enum tRequest : unsigned { kShutDown = 1, kRateChanged = 2, kOverloaded = 4 };

    bool Open();            // switch lock held
    void Close(int reason); // switch lock held; reason: a tAudioOff value
    void ShowOff(int reason);
    void Connect();
    void Watch();
    void Request(unsigned request);

    // The server's callbacks (JackAudio.cpp).
    struct tEntries;
    friend struct tEntries;
    void Process(unsigned frames);
    // Collects the channel messages of events next.. (of total) before frame end into
    // mEvents, stamped from frame start on; end moves to the first event left over.
    int CollectEvents(void* midi, int& next, int total, int start, int& end);

    tRack& mRack;
    tMasterStage& mMaster;
    tMasterControls& mControls;
    tEngine mEngine;

    mutable std::mutex mSwitchLock; // start, stop, channels, settings, the client
    tJackSettings mSettings;
    std::string mFailure;
    _jack_client* mClient = nullptr;
    std::string mClientName;
    std::atomic<_jack_port*> mOutPorts[2] = {};
    std::atomic<_jack_port*> mMidiPort{nullptr};
    std::atomic<bool> mOn{false};
    std::atomic<int> mChannels{2};
    std::atomic<int> mRate{0};
    std::atomic<int> mPeriod{0};

    // Process callback: set up before the client is activated (mReady released after).
    std::atomic<bool> mReady{false};
    std::atomic<bool> mSilent{false}; // a switch-off awaits the watcher
    int mProcessChannels = 2;
    tEngineEvent mEvents[kMaxEvents];
    double mOut[2 * kMaxFrames] = {};
    std::atomic<unsigned> mXruns{0};
    unsigned mXrunsShown = 0;
    std::atomic<unsigned long long> mPeriods{0};
    std::atomic<double> mShareSum{0.0};
    std::atomic<double> mShareMax{0.0};

    // The watcher.
    std::atomic<unsigned> mRequests{0};
    std::atomic<int> mNewRate{0};
    std::mutex mWatchLock;
    std::condition_variable mWake;
    bool mStopWatching = false;
    std::thread mWatcher;
};
