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
#pragma once

#include "dsp/DcBlocker.h"
#include "dsp/DelayLine.h"
#include "dsp/FracDelay.h"
#include "dsp/LowPass.h"
#include "dsp/NoiseSource.h"
#include "dsp/OnePole.h"
#include "dsp/SineTable.h"

class tFluteVoice {
public:
    static constexpr int kRate = 44100;
    static constexpr int kBoreSize = 44100;
    static constexpr int kJetSize = 220500;
    static constexpr int kReleaseLength = 128;
    // A loop value beyond this (or no number at all) means the loop has blown up; the guard
    // tests each new value as it leaves the loop filters.
    static constexpr double kBlowUp = 15.0;

    tFluteVoice();
    tFluteVoice(const tFluteVoice&) = delete;
    tFluteVoice& operator=(const tFluteVoice&) = delete;

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
    void setTremoloRate(double hz) { mTremolo.setFrequency(kRate, hz); }
    void setScale(int scale) { mScale = scale; }
    // The jet length in periods (times the scale, at most the scale). With steps 0 the jet
    // takes it at once; otherwise it glides there over that many samples.
    void setJetRatio(double x, int steps);
    void setModel(int model) { mModel = model; }
    // Bore length in periods (flute model); from the next note.
    void setBoreScale(double scale) { mBoreScale = scale; }
    void setFilterOn(int on) { mFilterOn = on; }
    void setFollowNote(int follow) { mFollowNote = follow; }
    void setFilterType(int type) { mOutputFilter.setType(type); }
    void setResonance(double resonance) { mOutputFilter.setResonance(resonance); }
    // Output cutoff: 2^(x − 1) times the note frequency when following the note, else
    // 2^(x − 1) × rate / 512 Hz.
    void setCutoff(double x);
    void updateCutoff();
    void setVelocity(double velocity) { mVelocity = velocity; }

    // --- playing -------------------------------------------------------------------------
    // attack: the pressure attack in units of 4 periods.
    void noteOn(double frequency, double attack, int note);
    // Linear fade to silence over the next 128 samples.
    void release();
    double process();
    // n successive process() results.
    void processBlock(double* out, int n);
    int isSounding() const { return mSounding; }
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
    int period() const { return mPeriod; }
    int attackLength() const { return mAttackLength; }
    int breathLength() const { return mBreathLength; }
    int count() const { return mCount; }
    // How often a blown-up loop has been reset since construction.
    long loopResets() const { return mLoopResets; }
    const tDelayLine& bore() const { return mBore; }
    const tFracDelay& jet() const { return mJet; }
    const tOnePole& loopFilter() const { return mLoopFilter1; }
    const tOnePole& breathFilter() const { return mBreathFilter; }

private:
    // Loop filters, jet input, loop value, DC blocker and both delay lines to rest.
    void restLoop();
    // A blown-up loop starts again from silence (restLoop), and the reset is counted.
    void clearLoop();
    void setJetDelay() { mJet.setDelay(kRate * mJetRatio / mFrequency); }
    template <bool kFlute, bool kFilter> int run(double* out, int n);

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
    double mBoreScale = 1.0;
    double mJetRatio = 0.5;
    double mVelocity = 0.0;
    int mModel = 0;
    int mScale = 1;
    int mFollowNote = 0;
    int mFilterOn = 0;
    int mLoopOrder = 0;

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
};
