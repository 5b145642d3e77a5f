// The one entry point every front end drives: the ALSA render callback, the renderer, the
// soak and allocation tests, and any host that hands the synthesizer blocks of its own
// length with MIDI events stamped with their frame.
//
// Prepare, while audio is off, sets the rack's sample rate and channel count (every module is
// prepared) and the master stage's windows for the rate. Process, on the rendering thread,
// turns one call of any length into pieces: a piece starts at every event's frame and is at
// most kMaxPiece frames long. At the start of each piece the events due there are decoded
// (one MIDI decoder keeps the running status across events and calls) and delivered straight
// to the modules, on this thread, without a queue or a lock; then the rack renders the piece
// and the master stage scales it into the output. Events other threads send to the rack (the
// MIDI thread, the windows) go through the rack's queue and reach the modules at the start of
// the next piece, before the events of the call.
//
// With the events at frame 0 and a call as long as the device's period, the output is exactly
// what rendering the rack one period at a time gives. Process never allocates, locks or waits.
// When the rack's owner wants the rack (to edit it), the engine renders the next call's sound
// ahead at the end of a call and hands the rack over (tRack::GrantLease); the next call plays
// what was rendered ahead, so an edit never punches a hole in the sound. Events that arrive
// meanwhile reach the modules at the first piece rendered after it. Should the rack still be
// busy then, the piece is silence and the decoded events wait for the next piece; events that
// the rack's budget for starting notes holds back wait, in order, for the next pieces too.
#pragma once

#include "core/MidiDecoder.h"
#include "core/MidiSink.h"
#include "core/RackEvent.h"
#include "dsp/SampleRate.h"

#include <cstdint>
#include <vector>

class tRack;
class tMasterStage;

// One raw MIDI message, or part of one: a status byte and up to two data bytes, or data bytes
// under the running status. size bytes of bytes are used.
struct tEngineEvent {
    int frame = 0; // frame within the Process call: 0..frames-1
    std::uint8_t size = 0;
    std::uint8_t bytes[3] = {0, 0, 0};
};

class tEngine {
public:
    static constexpr int kMaxPiece = 256;    // frames rendered at a time
    static constexpr int kMaxPending = 1024; // decoded events waiting for their piece
    static constexpr int kMaxAhead = 8192;   // frames rendered ahead for the rack's owner

    // Without a master stage the output is the rack's mix as it is (a plugin's output).
    explicit tEngine(tRack& rack);
    tEngine(tRack& rack, tMasterStage& master);
    tEngine(const tEngine&) = delete;
    tEngine& operator=(const tEngine&) = delete;

    // Audio off only. All notes off; the rack's sample rate and channel count (1 or 2; any
    // other count is taken as 2); every module prepared (modules whose rate changes are set
    // up for it); the master stage's windows for the rate; the running status and the events
    // still waiting forgotten. False, and nothing changed, for a rate outside
    // kMinSampleRate..kMaxSampleRate.
    bool Prepare(int sampleRate, int channels);
    int SampleRate() const { return mSampleRate; }
    int Channels() const { return mChannels; }

    // Rendering thread. events: count events sorted by frame (an event out of order waits for
    // the ones before it; one at or past frames reaches the modules at the start of the next
    // call). out: frames x Channels() doubles, interleaved, full scale +-1.0.
    void Process(const tEngineEvent* events, int count, double* out, int frames);

    // Decoded events that found no room: more than kMaxPending waited while the rack was
    // busy or its budget spent (an all-notes-off always finds room: it replaces what waits before
    // it).
    unsigned DroppedEvents() const { return mPending.dropped; }

    tRack& Rack() { return mRack; }

private:
    // Collects the decoder's events for the next piece.
    class tPending : public tMidiSink {
    public:
        explicit tPending(tRack& rack) : rack(rack) {}
        void NoteOn(int channel, int key, int velocity) override;
        void NoteOff(int channel, int key) override;
        void Controller(int channel, int number, int value) override;
        void SetPan(int channel, int value) override;
        void AllNotesOff() override;
        void ChannelNotesOff(int channel) override;

        void Add(const tRackEvent& event);
        void Clear() { count = 0; }
        // The first n went to the modules; the rest move to the front.
        void Consume(int n);

        tRack& rack;
        tRackEvent events[kMaxPending];
        int count = 0;
        unsigned dropped = 0;
    };

    void Feed(const tEngineEvent& event);
    // Renders frames into out; false (and silence) when the rack was busy. The waiting events
    // that the rack's budget lets through reach the modules first.
    bool RenderPiece(double* out, int frames);
    // Plays up to frames of what was rendered ahead into out; returns how many.
    int PlayAhead(double* out, int frames);
    void RenderAhead(int frames);

    tRack& mRack;
    tMasterStage* mMaster;
    tPending mPending{mRack};
    tMidiDecoder mDecoder{mPending};
    std::vector<double> mAhead; // kMaxAhead frames of stereo
    int mAheadStart = 0;        // frames of it played
    int mAheadEnd = 0;          // frames of it rendered
    int mSampleRate = kReferenceRate;
    int mChannels = 1;
};
