// One blown pipe: a waveguide model computed one sample at a time, with two excitation models.
//
// "clarinet" (model 0): a single bore delay line, half a period long, closed by a reed-like
// polynomial reflection. "flute" (model 1): a jet delay line feeding a cubic jet
// nonlinearity that drives the bore, with separate feedback into the jet ("feed emb") and
// into the bore ("feed bore"). Both are blown by a mouth pressure made of an attack/sustain/
// release envelope, a tremolo sine, a slow random drift and filtered breath noise with its own
// attack boost. The output passes a DC blocker, the amplitude envelope and an optional
// second-order low pass whose cutoff may follow the note.
//
// The module sets every parameter and then calls noteOn; while the note sounds it renders
// blocks and re-applies the live parameters between them.
//
// The model's constants are those of 44100 Hz. At another sample rate every time and
// frequency keeps its value in seconds and hertz: envelope and release lengths, filters, the
// DC blocker, the tremolo; the breath noise and the drift still advance 44100 times a second,
// so a note draws the same random values at the same moments at every rate. The loss filters,
// which the loop passes once per period, keep their loss per pass at each frequency (a pole
// and a zero above 44100 Hz), and the bore and jet are tuned so that each loop keeps its delay
// in seconds at the note's frequency, the loss filters' phase delay included: the harmonics,
// and so the pitch, stay where they are.
#pragma once

#include "dsp/DcBlocker.h"
#include "dsp/DelayLine.h"
#include "dsp/FracDelay.h"
#include "dsp/LowPass.h"
#include "dsp/NoiseSource.h"
#include "dsp/OnePole.h"
#include "dsp/OnePoleAtRate.h"
#include "dsp/SineTable.h"

class tFluteVoice {
public:
    // The buffers and the release at 44100 Hz; other rates scale them.
    static constexpr int kBoreSize = 44100;
    static constexpr int kJetSize = 220500;
    static constexpr int kReleaseLength = 128;
    // A loop value beyond this (or no number at all) means the loop has blown up; the guard
    // tests each new value as it leaves the loop filters.
    static constexpr double kBlowUp = 15.0;

    tFluteVoice();
    tFluteVoice(const tFluteVoice&) = delete;
    tFluteVoice& operator=(const tFluteVoice&) = delete;

    // The rate the voice renders at (44100 until set). Only while it does not render: the
    // delay lines are reallocated for the rate and the voice falls silent. The same rate
    // again changes nothing.
    void setSampleRate(int rate);
    int sampleRate() const { return mRate; }

    // --- parameters (live ones act on a sounding note at once) --------------------------
    void setLevel(double level) { mLevel = level; }
    // 0.9·x, at most 0.9.
    void setPressure(double x) { mPressure = x <= 1.0 ? 0.9 * x : 0.9; }
    void setBreathLevel(double level) { mBreathLevel = level; }
    // Length of the breath boost in periods; from the next note.
    void setBreathAttack(double periods) { mBreathAttack = periods; }
    void setBreathBoost(double x) { mBreathBoost = 2.0 * x; }
    void setBreathFilter(double value);
    void setBreathMode(int mode) { mBreathFilter.setMode(mode); }
    // Both loss filters take the value; only the first is updated on a sounding note.
    void setLoopFilter(double value);
    void setLoopCeiling(double ceiling);
    void setLoopMode(int mode);
    void setLoopOrder(int order) { mLoopOrder = order; }
    void setFeedEmb(double x) { mFeedEmb = x; }
    void setFeedBore(double x) { mFeedBore = x; }
    void setTremoloDepth(double x) {
        mTremoloDepth = x;
        mDriftDepth = 2.0 * x;
    }
    void setTremoloRate(double hz) {
        mTremoloRate = hz;
        mTremolo.setFrequency(mRate, hz);
    }
    void setScale(int scale) { mScale = scale; }
    // The jet length in periods (times the scale, at most the scale). With steps 0 the jet
    // takes it at once; otherwise it glides there over that many samples.
    void setJetRatio(double x, int steps);
    void setModel(int model) { mModel = model; }
    // Bore length in periods (flute model); from the next note.
    void setBoreScale(double scale) { mBoreScale = scale; }
    void setFilterOn(int on) { mFilterOn = on; }
    void setFollowNote(int follow) { mFollowNote = follow; }
    void setFilterType(int type) {
        mOutputFilter.setType(type);
        mFilterDesigned = false;
    }
    void setResonance(double resonance);
    // Output cutoff: 2^(x − 1) times the note frequency when following the note, else
    // 2^(x − 1) × rate / 512 Hz.
    void setCutoff(double x);
    void updateCutoff();
    void setVelocity(double velocity) { mVelocity = velocity; }

    // --- playing -------------------------------------------------------------------------
    // attack: the pressure attack in units of 4 periods.
    void noteOn(double frequency, double attack, int note);
    // Linear fade to silence over the next 128 samples (at 44100 Hz; as long in seconds at
    // other rates). A note already released keeps its fade.
    void release();
    double process();
    // n successive process() results.
    void processBlock(double* out, int n);
    int isSounding() const { return mSounding; }
    // Samples until a released note falls silent (0 when silent; very many while held).
    int samplesLeft() const { return mSounding ? mEnd - mCount : 0; }
    bool isReleased() const { return mEnd != kSustained; }
    void silence() { mSounding = 0; }
    void clearDelays();
    // Every signal state to rest: delay lines, loop, breath and output filters, DC blocker.
    void clearState();

    // --- state -----------------------------------------------------------------------------
    double velocity() const { return mVelocity; }
    double level() const { return mLevel; }
    double pressure() const { return mPressure; }
    double breathLevel() const { return mBreathLevel; }
    double breathBoost() const { return mBreathBoost; }
    double feedEmb() const { return mFeedEmb; }
    double feedBore() const { return mFeedBore; }
    double cutoff() const { return mCutoff; }
    double jetRatio() const { return mJetRatio; }
    double glideStep() const { return mGlideStep; }
    int glideLeft() const { return mGlideLeft; }
    int model() const { return mModel; }
    double frequency() const { return mFrequency; }
    // The note's period in whole samples at the voice's rate.
    int period() const { return mPeriod; }
    int releaseLength() const { return mReleaseLength; }
    int attackLength() const { return mAttackLength; }
    int breathLength() const { return mBreathLength; }
    int count() const { return mCount; }
    // How often a blown-up loop has been reset since construction, and how many delay-line
    // entries those resets zeroed.
    long loopResets() const { return mLoopResets; }
    long guardCleared() const { return mGuardCleared; }
    const tDelayLine& bore() const { return mBore; }
    const tFracDelay& jet() const { return mJet; }
    const tOnePole& loopFilter() const { return mLoopFilter1; }
    const tOnePole& breathFilter() const { return mBreathFilter; }
    const tLowPass2& outputFilter() const { return mOutputFilter; }

private:
    static constexpr int kSustained = 1000000000; // a held note's end: about six hours
    // Samples a block is rendered in at a time.
    static constexpr int kChunk = 128;

    // Loop filters, jet input, loop value, DC blocker and both delay lines to rest.
    void restLoop();
    // A blown-up loop starts again from silence at sample count of the note: the loop filters,
    // jet input, loop value and DC blocker to rest, and of the delay lines only what was
    // written since they were last cleared (the rest is zero already), so a trip costs at
    // most the bore's length and repeated trips little more than their samples. Counted.
    void clearLoop(int count);
    // A count of 44100 Hz samples as long in seconds at the voice's rate.
    int atRate(int count) const;
    void setJetDelay();
    // One step of a glide: the jet's ratio and delay move on.
    void glideJet();
    // Bore length and allpass at a rate other than 44100 Hz: the loop through the bore, its
    // loss filters and the model's one-sample steps keeps its 44100 Hz delay in seconds at the
    // note's frequency.
    void tuneBore(double boreDelay, int note);
    // The bore's allpass again after the loss filter has changed under a sounding note.
    void retuneBore();
    // The loss filter's feedback coefficient at 44100 Hz, and its phase delay there at the
    // note's frequency.
    double referenceA1(const tOnePole& filter) const;
    double referenceLossDelay(const tOnePole& filter) const;
    // The phase delay at the note's frequency of a loss filter at the voice's rate.
    double lossDelay(const tPoleZero& loss) const;
    static double lossDelayAt(const tPoleZero& loss, double omega);
    // Both loss filters at another rate than 44100 Hz from their 44100 Hz coefficients.
    void matchLoss();
    // The breath filter at another rate: the noise it colours sounds as at 44100 Hz.
    void matchBreath();
    // One step of a loss filter: the one-pole itself at 44100 Hz, its pole and zero at other
    // rates (x1 is the zero's previous input).
    double loss(tOnePole& filter, const tPoleZero& match, double& x1, double x);
    // processBlock() for one model, output filter setting and kind of rate: the samples before
    // the note ends, chunk by chunk; returns how many.
    template <bool kFlute, bool kFilter, bool kReference> int run(double* out, int n);
    // m samples from sample count of the note of the mouth pressure, the breath noise before
    // its filter and the amplitude envelope.
    template <bool kReference>
    void excite(double* mouth, double* breathIn, double* amplitude, int count, int m);
    // m samples of the loop blown by the mouth and the filtered breath, scaled by amplitude,
    // out through the output stage. kGlide: the jet's lag and allpass coefficient for each
    // sample are given (the jet glides), and the jet is left at the tap after the last.
    template <bool kFlute, bool kFilter, bool kReference, bool kGlide>
    void resonate(const double* mouth, const double* breathIn, const double* amplitude,
                  const int* glideLag, const double* glideC, double* out, int count, int m);

    tWhiteNoise mNoise;
    tRandomRamp mDrift;
    tOnePole mLoopFilter1;
    tOnePole mBreathFilter;
    tOnePole mLoopFilter2;
    tLowPass2 mOutputFilter;
    tDcBlocker mDcBlocker;
    tSineTable mTremolo;
    tDelayLine mBore;
    tFracDelay mJet;

    double mTremoloDepth = 0.03;
    double mDriftDepth = 0.03;
    double mLevel = 0.5;
    double mPressure = 0.68;
    double mFeedEmb = 0.4;
    double mFeedBore = 0.4;
    double mBreathLevel = 0.02;
    double mBreathAttack = 0.0;
    double mBreathBoost = 2.0;
    double mCutoff = 1.0;
    // What the cutoff and the output filter's design were computed from: the module sets them
    // every block, and they are computed again only when something changed.
    double mCutoffSetting = -1.0;
    int mCutoffFollow = -1;
    double mResonance = 1.0;
    double mDesignedCutoff = 0.0;
    bool mFilterDesigned = false;
    double mBoreScale = 1.0;
    double mJetRatio = 0.5;
    double mTremoloRate = 2.0;
    double mVelocity = 0.0;
    int mModel = 0;
    int mScale = 1;
    int mFollowNote = 0;
    int mFilterOn = 0;
    int mLoopOrder = 0;

    // The rate and what follows from it.
    int mRate = 44100;
    double mRateScale = 1.0; // rate / 44100
    int mReleaseLength = kReleaseLength;
    // Loop filter settings behind the first loss filter's coefficients while a note sounds;
    // the filter is computed again only when they change.
    double mLoopValue = -1.0;
    int mLoopMode = -1;
    double mLoopCeiling = -1.0;
    // The bore's tuning at another rate: its whole samples, its 44100 Hz delay at the note's
    // frequency without the first loss filter, and the part of the loop delay at the voice's
    // rate that is neither the bore line nor the first loss filter.
    int mBoreWhole = 1;
    double mBoreReference = 0.0;
    double mBoreOther = 0.0;
    // The loss filters at another rate: pole and zero, and the zero's previous input.
    tPoleZero mLoss1;
    tPoleZero mLoss2;
    double mLoss1X1 = 0.0;
    double mLoss2X1 = 0.0;
    // The breath filter at another rate, and its zero's previous input.
    tPoleZero mBreathMatch;
    double mBreathX1 = 0.0;

    // The note.
    double mFrequency = 0.0; // none until the first note
    int mPeriod = 0;
    int mCount = 0;
    int mEnd = 0;
    int mReleaseStart = 0;
    int mAttackLength = 0;
    int mBreathLength = 0;
    double mJetIn = 0.0;
    double mLoopOut = 0.0;
    double mGlideStep = 0.0;
    int mGlideLeft = 0;
    int mSounding = 0;
    long mLoopResets = 0;
    long mGuardCleared = 0;
    // Sample count of the note at which the bore was last cleared (before the note starts:
    // everything in it may hold sound).
    int mBoreClearedAt = 0;
    // The 44100 Hz clock of the breath noise and the drift at another rate: reference samples
    // times the rate, less the voice's samples times 44100. The values they gave last.
    int mClock = 0;
    double mDriftValue = 0.0;
    double mNoiseValue = 0.0;
};
