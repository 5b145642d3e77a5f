// One voice of the string synthesizer: a plucked-string waveguide.
//
// At note on a burst of filtered noise (mixed with or shaped by the additional wave) is
// written into a delay line one period long. Every sample the delay output runs through up to
// four one-pole loop filters, is scaled by the feedback and written back. The loop signal then
// passes the output filter driven by its envelope, the DC blocker, the attack and release
// ramps, the tremolo and the volume.
//
// The module sets the parameters with the setters, starts the note with startNote() and
// prepare() (noteOn() does both at once) and renders blocks with render(); tick() computes one
// sample the same way. A voice being prepared is not rendered.
#pragma once

#include "dsp/CounterWaves.h"
#include "dsp/DcBlocker.h"
#include "dsp/DelayLine.h"
#include "dsp/LowPass.h"
#include "dsp/NoiseSource.h"
#include "dsp/OnePole.h"
#include "dsp/PulseTable.h"
#include "dsp/SampledWave.h"
#include "dsp/SawResWave.h"
#include "dsp/SineTable.h"
#include "string/LoopSection.h"
#include "string/OutputDesign.h"

namespace stringpasses {
struct tLoopState;
struct tFeedbackSchedule;
} // namespace stringpasses

class tStringVoice {
public:
    enum { kIdle = 0, kSounding = 1, kPreparing = 2 };
    enum tWaveType {
        kNone,
        kSin,
        kRect,
        kSaw,
        kTri,
        kCRect,
        kCSaw,
        kCTri,
        kPiano,
        kPiano2,
        kMetal,
        kSawRes
    };

    tStringVoice();

    // --- parameters (effective at the next note on unless said otherwise) ---------------
    // Also makes the voice idle. Times and frequencies keep their seconds and hertz at every
    // rate; the string may grow to hold the lowest note (allocation: audio must be off).
    void setSampleRate(int rate);
    int sampleRate() const { return mRate; }
    void setOrder(int order); // 1..4 loop filters
    // "frequency" × 10 for the used loop filters; at once while the voice sounds.
    void setLoopFrequency(double value);
    void setLoopMax(double ceiling);
    void setLoopFollow(int mode);
    void setFeedback(double feedback) { mFeedback = feedback; }
    // Periods until the off-feedback takes over; ignored while the voice is busy.
    void setOffDelay(double periods);
    void setOffFeedback(double feedback) { mOffFeedback = feedback; }
    // Periods between soft-damp steps; 0: none.
    void setSoftDamp(int periods) { mSoftDampPeriods = periods; }
    void setFilterAttack(double periods) { mFilterAttack = periods; }
    void setFixedTime(int on) { mFixedTime = on; }
    void setStartFrequency(double value) { mStartValue = value; }
    void setWaveType(int type) { mWaveType = type; }
    void setWaveAmount(double amount) { mWaveAmount = amount; }
    void setRandomFrequency(double value);
    void setRandomFollow(int mode) { mRandomFilter.setMode(mode); }
    void setPink(int on) { mPink = on; }
    // While the voice sounds, the note's corrections (bass boost, velocity, half level of
    // "piano2" and "metal") apply to the new volume at once.
    void setVolume(double volume);
    void setVelocity(double velocity) { mVelocity = velocity; }
    void setSilence(int periods) { mSilencePeriods = periods; }
    void setRelease(int samples) { mRelease = samples; }
    void setOutputSlope(int slope) { mSlope = slope; }
    void setOutputKind(int kind);
    void setResonance(double resonance);
    void setFollow(int follow) { mFollow = follow; }
    // Output cutoff in octaves (0..10); with frames > 0 it glides there within that many
    // samples, else it jumps.
    void setCutoff(double octaves, int frames);
    void setEnvelope(double amount, double speed, int release, int sustain);
    void setEnvMode(int mode) { mEnvMode = mode; }
    void setAmplEnv(int on) { mAmplEnv = on; }
    void setBassBoost(int on) { mBassBoost = on; }
    void setDcFilter(int on) { mDcFilter = on; }
    void setModulation(int on) { mModulation = on; }
    void setLfoFrequency(double hz) { mLfoFrequency = hz; }
    void setLfoAmount(double amount);

    // --- notes ---------------------------------------------------------------------------
    // attack: 0.1 × "attack" + 0.1 periods. Starts and prepares the note at once.
    void noteOn(double freq, double attack, int note);
    // The same note started in two parts, so that the long part can be spread over blocks:
    // startNote() sets the note up and leaves the voice preparing; prepare() then clears the
    // string, writes the burst and runs the pre-roll, and the voice sounds once that is done.
    void startNote(double freq, double attack, int note);
    // Continues the preparation by about budget units of work (one unit is about one sample
    // of the loop) and returns the units used. A voice whose preparation is complete starts
    // to sound even with no budget left.
    int prepare(int budget);
    // A note off while preparing takes effect when the note starts to sound.
    void noteOff();
    void reset() {
        mState = kIdle;
        mAsleep = false;
    }
    bool isSounding() const { return mState == kSounding; }
    bool isPreparing() const { return mState == kPreparing; }
    int state() const { return mState; }
    int note() const { return mNote; }
    // Samples the string of the current note spans.
    int stringLength() const { return mDelay.length(); }

    // --- sound ---------------------------------------------------------------------------
    // One output sample.
    double tick();
    // frames samples, the same as frames calls of tick(): into out (channels 1), or
    // left × sample and right × sample into interleaved out (channels 2); add sums into out.
    // A sleeping voice only lets the time pass (and writes zeros unless add).
    void render(double* out, int frames, int channels, double left, double right, bool add);

    // --- sleep ---------------------------------------------------------------------------
    // A sounding voice whose string and output stage could not, at the loudest volume and
    // tremolo its controls allow, put more than kSleepLevel of full scale (−140 dB) into its
    // output, for longer than the string holds, and that nothing can make louder again (a loop
    // that cannot grow, no excitation still to come), may sleep: it computes nothing more and
    // counts as sounding until its end time passes, as it would have; its state below the
    // level is dropped. loudestVolume: the largest volume the module may give the voice,
    // before the note's corrections. True when the voice sleeps after this call.
    static constexpr double kSleepLevel = 1e-7;
    bool sleepIfSilent(double loudestVolume);
    bool isAsleep() const { return mAsleep; }
    // frames samples of a sleeping voice: its time passes, it ends when its end time does.
    void skip(int frames);

    // Two voices into one block, as a.render() and then b.render() would put them there (in
    // each frame a's sample first, b's added to it); where both allow it, the two are
    // computed side by side.
    static void renderPair(tStringVoice& a, double leftA, double rightA, tStringVoice& b,
                           double leftB, double rightB, double* out, int frames, int channels,
                           bool addA);

private:
    // Beyond these the string's loop (a feedback above 1 makes it grow) or its output filter (its
    // state can pump itself up when fast cutoff jumps meet a high resonance) has run away and
    // starts again from rest. Ordinary play stays far below both.
    static constexpr double kLoopBound = 100.0;
    static constexpr double kOutputFilterBound = 10000.0;
    // Samples the passes of a run work on at a time (their buffers are on the stack).
    static constexpr int kPass = 128;
    // The envelope steps of a run: before sample start[i] the output filter gets set[i] and
    // the amplitude factor ampl[i] (start[0] = 0: the values the run starts with).
    struct tSteps {
        int count = 0;
        int start[kPass + 1];
        tOutputCoefficients set[kPass + 1];
        double ampl[kPass + 1];
    };

    // The loop filters' coefficients for the note.
    void updateLoopFilters();
    // The note frequency the i-th loop filter of the order follows.
    double loopFilterFrequency(int i) const;
    // Away from 44100 Hz: the string's length and allpass so that the loop, with its filters
    // as they are now, resonates at the pitch the same note has at 44100 Hz.
    void tuneLoop();
    // The output envelope's factors per step for this note and rate.
    void prepareEnvelopeSteps();
    // The volume with the note's corrections.
    double correctedVolume(double volume) const;
    // The preparation's parts: each continues by at most budget units, returns the units used
    // and moves to the next part when its own is done.
    int clearStep(int budget);
    int burstStep(int budget);
    double burstSample(tNoiseSource& noise, double b0, double a1, double& y);
    int preRollStep(int budget);
    void startSounding();
    // One sample of the string: delay output through the loop filters, scaled and written
    // back; returns the written sample.
    double loopSample();
    // Starts the loop again from rest: the used span of the string and the loop filters.
    void clearLoop();
    // Starts the output filter again from rest; its coefficients stay.
    void clearOutputFilters();
    // Filter attack at this count; true when the loop coefficients changed.
    bool attackStep(int count);
    // The count of the next filter-attack step from count on, or kNever.
    int nextAttackStep(int count) const;
    void softDampStep();
    // The output-filter envelope (also sets the cutoff) at this count and audible time.
    void envelopeStep(int count, int now);
    // What the envelope's steps of a note share: the depth of the cutoff's swing and the
    // factor of the "usr" key tracking.
    struct tEnvelopeShape {
        double depth;
        double follow;
    };
    tEnvelopeShape envelopeShape() const;
    // What the envelope's steps change: its level and phase, the end of its sustain and, with
    // "ampl-env", the amplitude factor.
    struct tEnvelopeState {
        double level;
        int phase;
        int sustainEnd;
        double ampl;
    };
    tEnvelopeState envelopeState() const;
    void setEnvelopeState(const tEnvelopeState& state);
    // The envelope's step without the cutoff: moves the state and returns the cutoff in hertz
    // from the base cutoff.
    double envelopeCutoff(int count, int now, double base, const tEnvelopeShape& shape,
                          tEnvelopeState& state) const;
    double outputStage(double e);
    void setOutputCutoff(double hz);
    // The output filter's coefficients now, and as its filter holds them.
    tOutputCoefficients outputCoefficients() const;
    tOutputCoefficients filterCoefficients() const;
    tOutputDesign outputDesign() const;
    // The output filter's order for the slope (0: none).
    int filterOrder() const;
    // Whether half the unfiltered signal is added to the filter's output (the "+dry" slopes).
    bool halfDry() const { return mSlope == 3 || mSlope == 5 || mSlope == 7; }
    // Calls run.template operator()<order, halfDry, dc>() with the output stage's shape as
    // constants (order 0: no filter, and no "+dry" then).
    template <class tRun> decltype(auto) withFinishShape(tRun&& run) const;

    // A block in parts: beginBlock() starts watching its peaks, renderRange() renders frames
    // of it (render() is both).
    void beginBlock(int frames);
    void renderRange(double* out, int frames, int channels, double left, double right, bool add);
    template <int kChannels>
    void renderBlock(double* out, int frames, double left, double right, bool add);
    static void watchPeak(double& peak, const double* x, int n);
    // Both peaks of a run whose output stage passes the loop's samples as they are: the block
    // is looked at once.
    static void watchPeaks(double& loopPeak, double& outputPeak, const double* x, int n);
    // The loop's state in plain values and back, and where its feedback changes in a pass.
    void takeLoop(stringpasses::tLoopState& s);
    void giveLoop(const stringpasses::tLoopState& s);
    stringpasses::tFeedbackSchedule feedbackSchedule() const;
    static void invertFirstFilter(stringpasses::tLoopState& s);
    // Whether a run may go side by side with another voice's: no output stage, tremolo, ramp,
    // moving amplitude factor or sampled wave.
    bool goesStraight() const;
    template <int kChannels>
    static int renderPairRuns(tStringVoice& a, double leftA, double rightA, tStringVoice& b,
                              double leftB, double rightB, double* out, int frames, bool addA);
    template <int kChannels>
    static void pairPasses(tStringVoice& a, double leftA, double rightA, tStringVoice& b,
                           double leftB, double rightB, double* out, int n, bool addA);
    // Whether a sampled wave is added to the string as it enters the loop filters, and the
    // wave's next n samples (two loops go side by side when both add one or neither does).
    bool hasWave() const;
    void waveSamples(double* wave, int n);
    // Both loops side by side into the buffers, each sample handed to sink(i, pair).
    template <class tSink>
    static void pairLoop(tStringVoice& a, tStringVoice& b, int n, tSink& sink);
    // A run of two voices with output stages: the loops side by side, then the output stages,
    // side by side where they are alike.
    template <int kChannels>
    static void pairStagedPasses(tStringVoice& a, double leftA, double rightA, tStringVoice& b,
                                 double leftB, double rightB, double* out, int n, bool addA);
    // Whether two voices' output stages are alike enough to run side by side.
    bool finishMatches(const tStringVoice& other) const;
    // finishPass() of two voices at once: a's samples into the block (or added), b's added.
    struct tFinishSide {
        tStringVoice* voice;
        double* buffer;
        const tSteps* steps;
        double left;
        double right;
    };
    template <int kChannels>
    static void finishPair(const tFinishSide& a, const tFinishSide& b, double* out, int n,
                           bool addA);
    template <int kChannels, int kOrder, bool kHalfDry, bool kDc>
    static void finishPairOf(const tFinishSide& a, const tFinishSide& b, double* out, int n,
                             bool addA);
    // Samples from now on (at most limit) on which no rare work falls.
    int quietRun(int limit) const;
    // Whether the envelope step every fourth sample changes anything.
    bool envelopeActs() const;
    // A run of n quiet samples in passes: the string into buffer, the envelope steps, the
    // output stage in place, the amplitude into out.
    template <int kChannels>
    void runPasses(double* out, int n, double left, double right, bool add);
    // The string's n samples, each handed to sink(i, sample) as it is made (kWaves: the path
    // that adds a sampled wave may be taken).
    template <bool kWaves, class tSink> void loopPass(int n, tSink& sink);
    template <int kOrder, bool kSections, int kInput, class tSink>
    void loopPassOf(int n, tSink& sink);
    void envelopePass(int n, tSteps& steps);
    // The volume's law in a run (runs do not cross from one to another): held, or at sample
    // j of the run volume × (from + step·j) / over.
    struct tVolumeLaw {
        double volume = 1.0;
        bool ramp = false;
        int from = 1;
        int step = 0;
        int over = 1;
    };
    tVolumeLaw volumeLaw() const;
    template <int kChannels>
    void finishPass(double* out, double* buffer, int n, const tSteps& steps, double left,
                    double right, bool add);
    template <int kChannels, int kOrder, bool kHalfDry, bool kDc>
    void finishPassOf(double* out, double* buffer, int n, const tSteps& steps, double left,
                      double right, bool add);
    // Whether sleep may come: no excitation or filter change ahead, a loop that cannot grow.
    bool mayFallAsleep() const;
    // A bound of the gain from the output stage to the voice's output at the loudest volume,
    // and of the output stage's own gain (the sum of its impulse response's magnitudes).
    double loudestGain(double loudestVolume) const;
    double outputStageGain() const;

    static constexpr int kNever = 0x7fffffff;

    // What prepare() does next.
    enum tPreparation { kClearString, kWriteBurst, kPreRoll, kPrepared };
    tPreparation mPreparation = kPrepared;
    int mBurstWritten = 0;
    int mBurstLength = 0;
    // Away from 44100 Hz: the excitation's samples at 44100 Hz around the one being written,
    // at indices mBurstIndex − 1 .. mBurstIndex + 2.
    int mBurstIndex = 0;
    double mBurstNear[4] = {};
    bool mReleasePending = false;

    // loop: the filters as designed at 44100 Hz, and as they run at the voice's rate when that
    // is another
    tOnePole mLoop[4];
    tLoopSection mSection[4];
    tDelayLine mDelay;
    // excitation
    tOnePole mRandomFilter;
    tWhiteNoise mWhite;
    tPinkNoise mPinkNoise;
    tSineTable mSine;
    tRectWave mRect;
    tSawWave mSaw;
    tTriWave mTri;
    tPulseTable mPulseBipolar;
    tPulseTable mPulseUnipolar;
    tSampledWave mSampled;
    tSawResWave mSawRes;
    // output
    tLowPass1 mLowPass1;
    tLowPass2 mLowPass2;
    tLowPass3 mLowPass3;
    tLowPass4 mLowPass4;
    tDcBlocker mDcBlocker;
    tSineTable mLfo;
    // The state of the output filter of the slope (the filters above only design it): order 1
    // x1, y1; order 2 w1, w2; order 3 x1, y1, w1, w2; order 4 w1, w2 of each section.
    double mOutputState[4] = {};

    int mState = kIdle;
    // loop parameters
    int mOrder = 1;
    double mLoopValue = 6.0;
    double mAttackTarget = 6.0;
    double mStartValue = 0.0;
    double mFilterAttack = 0.0;
    double mOffDelay = 0.0;
    int mSoftDampPeriods = 0;
    int mSilencePeriods = 0;
    int mWaveType = kNone;
    int mEnvMode = 0;
    // timing, in samples
    int mRate = 44100;
    int mHeld = 44000000; // note-off time of a held note
    // Samples between output-envelope steps, filter-attack steps and tremolo updates.
    int mEnvelopeInterval = 4;
    int mAttackInterval = 50;
    int mLfoInterval = 20;
    int mPeriod = 0;
    int mCount = 0;
    int mNow = 0;
    int mSilence = 0;
    int mAttack = 1;
    int mRelease = 0;
    int mOffDelayCount = 0;
    int mFilterAttackCount = 0;
    int mSoftDamp = 0;
    int mNoteOffTime = 0;
    int mReleaseEnd = 0;
    int mEndTime = 0;
    // levels
    double mFreq = 220.0;
    double mVolume = 1.0;
    double mFeedback = 0.99;
    double mOffFeedback = 0.0;
    double mVelocity = 1.0;
    double mWaveAmount = 0.05;
    double mEnvLevel = 0.0;
    int mEnvPhase = 0; // 0 rising, 1 falling
    double mAmplFactor = 1.0;
    double mLfoFactor = 1.0;
    double mLfoFrequency = 0.5;
    double mLfoAmount = 0.0;
    // output filter and envelope
    double mBaseCutoff = 1.0;
    double mEnvAmount = 1.0;
    double mEnvSpeed = 1.1;
    double mEnvReleaseFactor = 1.0;
    // Per envelope step at the voice's rate: rising level × speed + add, falling level × fall,
    // and past the sustain also × release.
    double mRiseSpeed = 1.1;
    double mRiseAdd = 0.00003;
    double mFallFactor = 0.99995;
    double mReleaseStep = 1.0;
    int mSustainSamples = 20000;
    int mSustainEnd = 0;
    int mSlope = 1;
    int mFollow = 1;
    int mGlideSteps = 0;
    double mGlideStep = 0.0;
    // The last cutoff given in octaves and 2 to its power less one.
    double mCutoffOctaves = 1.0;
    double mCutoffPower = 1.0;
    // What the output filters were last designed with: kind and resonance setting as given,
    // and the slope and cutoff of the last design (slope -1: none valid).
    int mKind = -1;
    double mResonance = -1.0;
    int mDesignedSlope = -1;
    double mDesignedCutoff = 0.0;
    // The coefficients of the last design and its slope (-1: none).
    tOutputCoefficients mOutputK = {};
    int mOutputKSlope = -1;
    // switches
    int mBassBoost = 0;
    int mDcFilter = 0;
    int mAmplEnv = 0;
    int mModulation = 0;
    int mPink = 0;
    int mFixedTime = 0;
    int mLfoOn = 0;
    int mNote = 0;
    // sleep: whether this block's peaks are watched, the peaks of the string and of the
    // output stage in this block, and how long both have stayed quiet
    bool mAsleep = false;
    bool mWatching = false;
    double mLoopPeak = 0.0;
    double mOutputPeak = 0.0;
    int mPeakFrames = 0;
    int mQuietSamples = 0;
};

template <class tRun> decltype(auto) tStringVoice::withFinishShape(tRun&& run) const {
    const bool dc = mDcFilter != 0;
    auto shaped = [&]<int kOrder>() -> decltype(auto) {
        if (halfDry()) {
            if (dc) return run.template operator()<kOrder, true, true>();
            return run.template operator()<kOrder, true, false>();
        }
        if (dc) return run.template operator()<kOrder, false, true>();
        return run.template operator()<kOrder, false, false>();
    };
    switch (filterOrder()) {
    case 1:
        return shaped.template operator()<1>();
    case 2:
        return shaped.template operator()<2>();
    case 3:
        return shaped.template operator()<3>();
    case 4:
        return shaped.template operator()<4>();
    default:
        if (dc) return run.template operator()<0, false, true>();
        return run.template operator()<0, false, false>();
    }
}
