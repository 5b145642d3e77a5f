#include "effects/PMCore.h"

#include "dsp/RarePath.h"
#include "dsp/SampleRate.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kDcCoefficient = 0.995;

// floor(x + 0.5) limited to 0..size.
int LineLength(double x, int size) {
    const double rounded = std::floor(x + 0.5);
    if (!(rounded >= 0.0)) return 0;
    if (rounded > size) return size;
    return static_cast<int>(rounded);
}
} // namespace

tPMCore::tPMCore() : mLine1(kLineSize), mLine2(kLineSize) {
    mLowpass.setMode(tOnePole::kFixed);
    mLowpass.setup(mRate, 7.0);
    mLowpass.update(1000.0);
    mDc.setCoefficient(kDcCoefficient);
}

int tPMCore::LineSizeFor(int rate) {
    return static_cast<int>((static_cast<long long>(kLineSize) * rate + kReferenceRate / 2) /
                            kReferenceRate);
}

namespace {
// A position (or the start of a lengthening's trailing reads) on a line that changes its
// length from `from` to `to` entries with the rate: the same place in time, within the new
// length; at or past the old length, at or past the new one.
int KeepInTime(int at, int from, int to) {
    if (at >= from) return std::max(at - from + to, 0);
    const double scaled = std::floor(static_cast<double>(at) * to / std::max(from, 1) + 0.5);
    return std::clamp(static_cast<int>(scaled), 0, std::max(to - 1, 0));
}
} // namespace

void tPMCore::setSampleRate(int rate) {
    if (rate == mRate) return;
    mRate = rate;
    mLineSize = LineSizeFor(rate);
    mLine1.reset(mLineSize);
    mLine2.reset(mLineSize);
    mDc.setCoefficient(perSampleAtRate(kDcCoefficient, rate));
    mLowpass.setup(mRate, mLowpass.value());
    mLowpass.update(mFreq);
    tuneLoopFilter();
    // The lines keep the ratio they were last set from, and a lengthening still running keeps
    // its trailing reads for as long in seconds: the sound just after a patch is loaded is the
    // one it has at 44100 Hz.
    const int len1 = mLen1;
    const int len2 = mLen2;
    setLengths();
    mOld1 = KeepInTime(mOld1, len1, mLen1);
    mOld2 = KeepInTime(mOld2, len2, mLen2);
    mPos1 = KeepInTime(mPos1, len1, mLen1);
    mPos2 = KeepInTime(mPos2, len2, mLen2);
    clear();
}

void tPMCore::setFrequency(double f) {
    mOld1 = mLen1;
    mOld2 = mLen2;
    mFreq = std::max(f, 1.0);
    mAppliedFactor = mLenFactor;
    setLengths();
}

void tPMCore::setLengths() {
    if (mRate != kReferenceRate) {
        tuneLines();
        return;
    }
    mLen1 = LineLength(mRate / mFreq, mLineSize);
    mLen2 = LineLength(mAppliedFactor * mRate / mFreq, mLineSize);
}

namespace {
constexpr double kTwoPi = 6.283185307179586;

// Phase delay in samples at angular frequency w of the loop filter with pole a1 and zero
// -zero: y = a1·y + g·(x + zero·x'), x' the previous input.
double PhaseDelay(double a1, double w, double zero = 0.0) {
    return (std::atan2(a1 * std::sin(w), 1.0 - a1 * std::cos(w)) +
            std::atan2(zero * std::sin(w), 1.0 + zero * std::cos(w))) /
           w;
}

// The frequency at which the loop filter away from 44100 Hz answers exactly as there.
constexpr double kMatchHz = 8000.0;

// The loop filter's feedback coefficient at the reference rate, for its frequency value.
double ReferenceA1(const tOnePole& lowpass) {
    return 1.0 - 0.1 * std::min(lowpass.value(), 10.0);
}

// A delay of t samples as whole samples for a line (at least one, at most size); the rest
// (1.5 to 2.5 samples but at the ends) is left in rest.
int SplitDelay(double t, int size, double& rest) {
    const int whole = static_cast<int>(std::clamp(std::floor(t - 1.5), 1.0, double(size)));
    rest = t - whole;
    return whole;
}
} // namespace

void tPMCore::tFraction::setDelay(double d) {
    // Stable for delays above one sample; a line too short for the delay asked keeps it so.
    delay = std::clamp(d, 1.05, 3.0);
    a1 = -2.0 * (delay - 2.0) / (delay + 1.0);
    a2 = (delay - 1.0) * (delay - 2.0) / ((delay + 1.0) * (delay + 2.0));
}

void tPMCore::tuneLoopFilter() {
    mZero = 0.0;
    mLoopB0 = mLowpass.b0();
    mLoopB1 = 0.0;
    if (mRate == kReferenceRate) return;
    // The pole moved for the rate keeps the corner and the loss per second, but the filter at
    // 44100 Hz passes more of the highest frequencies than the moved pole alone does. A zero
    // at -q gives back its answer: with the gain at 0 Hz kept at one, |H|^2 at the matching
    // frequency is that at 44100 Hz where (1 + q^2 + 2qc) / (1 + q)^2 = r, a quadratic in q
    // whose roots multiply to one; the root inside the unit circle is taken. Held at q >= -p
    // the filter never passes anything with a gain above one.
    const double a = ReferenceA1(mLowpass);
    const double p = mLowpass.a1();
    const double c44 = std::cos(kTwoPi * kMatchHz / kReferenceRate);
    const double target = (1.0 - a) * (1.0 - a) / (1.0 + a * a - 2.0 * a * c44);
    const double c = std::cos(kTwoPi * kMatchHz / mRate);
    const double r = target * (1.0 + p * p - 2.0 * p * c) / ((1.0 - p) * (1.0 - p));
    double q = 0.0;
    if (r != 1.0) {
        // q^2 + 2bq + 1 = 0; without a real root the nearest answer is a zero at the top.
        const double b = (c - r) / (1.0 - r);
        q = b * b >= 1.0 ? -1.0 / (b + std::copysign(std::sqrt(b * b - 1.0), b)) : 1.0;
    }
    mZero = std::clamp(q, -p, 1.0);
    mLoopB0 = (1.0 - p) / (1.0 + mZero);
    mLoopB1 = mZero * mLoopB0;
}

void tPMCore::tuneLines() {
    // The paths as they are at the reference rate: line 1's loop of len1 + 1 samples and the
    // loop filter's phase delay at the pitch it rings at, and line 2's len2 + 1 samples (a
    // line of no length delays by one sample, as one of length one).
    const double f = mFreq;
    const int len1 = std::max(LineLength(kReferenceRate / f, kLineSize), 1);
    const int len2 = std::max(LineLength(mAppliedFactor * kReferenceRate / f, kLineSize), 1);
    const double a1 = ReferenceA1(mLowpass);
    double period = len1 + 1.0;
    for (int i = 0; i < 6; ++i) period = len1 + 1.0 + PhaseDelay(a1, kTwoPi / period);
    // The same durations at this rate.
    const double scale = rateScale(mRate);
    const double w = kTwoPi / (period * scale);
    const double line1 = period * scale - 1.0 - PhaseDelay(mLowpass.a1(), w, mZero);
    const double line2 = (len2 + 1.0) * scale - 1.0;
    double rest1 = 0.0;
    double rest2 = 0.0;
    mLen1 = SplitDelay(line1, mLineSize, rest1);
    mLen2 = SplitDelay(line2, mLineSize, rest2);
    mFraction1.setDelay(rest1);
    mFraction2.setDelay(rest2);
}

namespace {
// The fifth-order polynomial of line 2's output, its argument held within the limit.
double Polynomial(double y) {
    y = std::clamp(y, -tPMCore::kArgumentLimit, tPMCore::kArgumentLimit);
    const double y2 = y * y;
    return y * (1.0 - 4.0 * y2 + 2.675 * y2 * y2);
}
} // namespace

namespace {
// The polynomial's slope at y, 0 where the argument is held at the limit.
double PolynomialSlope(double y) {
    if (!(std::fabs(y) < tPMCore::kArgumentLimit)) return 0.0;
    const double y2 = y * y;
    return 1.0 - 12.0 * y2 + 13.375 * y2 * y2;
}
} // namespace

bool tPMCore::quiet(double level) const {
    const double y = mFb;
    const double v = mV;
    // Reads still trailing a lengthening would not move on while the unit idles.
    if (mOld1 < mLen1 - 1 || mOld2 < mLen2 - 1) return false;
    // With silent input line 2 takes the excitation plus the fed-back loop value; at rest
    // the loop filter's input equals its output, and the loop's gain around the rest is
    // below one, so that what is left of a deviation dies away.
    if (!(std::fabs(v - (mIntensity + mFeed * y)) <= level)) return false;
    const double margin = 1.0 - std::fabs(mFeed) * (1.0 + std::fabs(PolynomialSlope(v)));
    if (!(margin > 0.0)) return false;
    if (!(std::fabs(mFeed * y + Polynomial(v) - y) <= level * margin)) return false;
    if (!(std::fabs(mDc.lastOutput()) + std::fabs(mDc.lastInput() - y) <= level)) return false;
    if (mRate != kReferenceRate && !(mFraction1.near(y, level) && mFraction2.near(v, level) &&
                                     std::fabs(mLoopInput - y) <= level))
        return false;
    // A line of no length is read and written at entry 0.
    return mStale1.within(mLine1.get(), 0, std::max(mLen1, 1), y, level) &&
           mStale2.within(mLine2.get(), 0, std::max(mLen2, 1), v, level);
}

namespace {
// n samples of a quiet line: the position moves on by one per sample (to 0 at the length);
// the entries it passes keep what they hold, those a clear has not reached yet taking the
// value they read as.
void IdleLine(double* line, tLazyClear& stale, int& position, int length, int n) {
    if (n <= 0) return;
    const int wrap = std::max(length, 1);
    const int first = position + 1 >= length ? 0 : position + 1;
    stale.settle(line, first, n, wrap);
    stale.wrote(first, n, wrap);
    position = static_cast<int>((static_cast<long long>(first) + n - 1) % wrap);
}
} // namespace

void tPMCore::idle(int frames) {
    IdleLine(mLine1.get(), mStale1, mPos1, mLen1, frames);
    IdleLine(mLine2.get(), mStale2, mPos2, mLen2, frames);
}

double tPMCore::restingValue() const {
    // With the loop filter's unity gain at DC the rest is a root of
    // r(y) = p(intensity + feed·y) − (1 − feed)·y; |p| is bounded, so r changes sign between
    // ±bound, and halving the interval finds a root.
    const double slope = 1.0 - mFeed;
    double bound = 0.0;
    for (double y = -kArgumentLimit; y <= kArgumentLimit; y += 0.01)
        bound = std::max(bound, std::fabs(Polynomial(y)));
    bound = bound / slope + 1.0;
    double low = -bound;
    double high = bound;
    auto r = [&](double y) { return Polynomial(mIntensity + mFeed * y) - slope * y; };
    for (int i = 0; i < 80; ++i) {
        const double middle = 0.5 * (low + high);
        if (r(middle) > 0.0)
            low = middle;
        else
            high = middle;
    }
    return 0.5 * (low + high);
}

void tPMCore::clear() {
    const double y = restingValue();
    const double v = mIntensity + mFeed * y;
    mStale1.clear(mLineSize, y);
    mStale2.clear(mLineSize, v);
    mLowpass.setY(y);
    mLoopInput = y;
    mDc.settle(y);
    mFraction1.rest(y);
    mFraction2.rest(v);
    mFb = y;
    mV = v;
}

void tPMCore::setFeed(double x) {
    mFeed = std::min(x, 0.7);
}

void tPMCore::setFeedFreq(double x) {
    mLowpass.setup(mRate, std::max(x, 0.05));
    mLowpass.update(mFreq);
    tuneLoopFilter();
    // The loop filter's phase delay is part of the loop.
    if (mRate != kReferenceRate) tuneLines();
}

void tPMCore::setResoMode(double x) {
    mLenFactor = std::min(mScale * std::max(x, 0.0001), static_cast<double>(kLineSize));
}

void tPMCore::setIntensity(double x) {
    mIntensity = std::min(x, 0.9);
}

template <bool Stereo, bool EfxOnly, bool Fractional> void tPMCore::run(double* buf, int count) {
    // The loop's state is copied into locals for the block, so that the writes to the lines
    // and the buffer do not make the compiler fetch it again every sample.
    double* line1 = mLine1.get();
    double* line2 = mLine2.get();
    const double b0 = mLowpass.b0();
    const double a1 = mLowpass.a1();
    // Away from 44100 Hz the loop filter has its zero as well.
    const double loopB0 = mLoopB0;
    const double loopB1 = mLoopB1;
    double loopInput = mLoopInput;
    const double drive = mDrive;
    const double intensity = mIntensity;
    const double feed = mFeed;
    const double outGain = mOutGain;
    const int len1 = mLen1;
    const int len2 = mLen2;
    double y = mLowpass.y();
    double fb = mFb;
    double v = mV;
    int pos1 = mPos1;
    int pos2 = mPos2;
    int old1 = mOld1;
    int old2 = mOld2;
    tDcBlocker dc = mDc;
    tFraction fraction1 = mFraction1;
    tFraction fraction2 = mFraction2;
    const int step = Stereo ? 2 : 1;
    for (int i = 0; i + step - 1 < count; i += step) {
        const double x = buf[i];
        // A position past the (possibly shortened) length, or a length of 0, wraps to 0.
        if (++pos1 >= len1) pos1 = 0;
        double y1;
        if (old1 < pos1) {
            // After a lengthening the new part of the line holds no recent signal: reads
            // follow one sample behind the writes until the position has run through it.
            y1 = line1[old1++];
        } else {
            y1 = line1[pos1];
        }
        if (Fractional) y1 = fraction1.step(y1);
        if (!(std::fabs(fb) <= kLoopLimit)) [[unlikely]] {
            // A loop value out of bounds starts the loop again from rest: the loop filter and
            // the DC blocker (and the allpasses) would otherwise keep it going.
            rarePath();
            y = 0.0;
            dc.reset();
            fb = 0.0;
            if (Fractional) {
                fraction1.rest(0.0);
                fraction2.rest(0.0);
                loopInput = 0.0;
            }
        }
        line1[pos1] = fb;

        if (++pos2 >= len2) pos2 = 0;
        double y2;
        if (old2 < pos2) {
            y2 = line2[old2++];
        } else {
            y2 = line2[pos2];
        }
        if (Fractional) y2 = fraction2.step(y2);
        line2[pos2] = v;

        v = (drive * x + 1.0) * intensity + feed * y1;
        // Beyond the polynomial's stable range its steep rise would feed a limit cycle that
        // outlives the input: the argument is held at the edge of that range.
        y2 = std::clamp(y2, -kArgumentLimit, kArgumentLimit);
        const double y2sq = y2 * y2;
        const double u = feed * y1 + y2 * (1.0 - 4.0 * y2sq + 2.675 * y2sq * y2sq);
        double g;
        if (Fractional) {
            g = a1 * y + loopB0 * u + loopB1 * loopInput;
            loopInput = u;
        } else {
            g = a1 * y + b0 * u;
        }
        y = g;
        fb = g;
        const double out = dc.process(g) * outGain;
        if (EfxOnly) {
            buf[i] = out;
            if (Stereo) buf[i + 1] = out;
        } else {
            buf[i] += out;
            if (Stereo) buf[i + 1] += out;
        }
    }
    mLowpass.setY(y);
    mLoopInput = loopInput;
    mFb = fb;
    mV = v;
    mPos1 = pos1;
    mPos2 = pos2;
    mOld1 = old1;
    mOld2 = old2;
    mDc = dc;
    mFraction1 = fraction1;
    mFraction2 = fraction2;
}

template <bool Fractional> void tPMCore::dispatch(double* buf, int count) {
    if (mChannels != 1) {
        if (mEfxOnly)
            run<true, true, Fractional>(buf, count);
        else
            run<true, false, Fractional>(buf, count);
    } else {
        if (mEfxOnly)
            run<false, true, Fractional>(buf, count);
        else
            run<false, false, Fractional>(buf, count);
    }
}

void tPMCore::settle(int n) {
    // Each line's position moves on by one per sample (to 0 at its length) and is read and
    // written there; after a lengthening the reads trail from the old length up to it.
    const int wrap1 = std::max(mLen1, 1);
    const int from1 = mPos1 + 1 >= mLen1 ? 0 : mPos1 + 1;
    if (mOld1 < mLen1) mStale1.settle(mLine1.get(), mOld1, n, wrap1);
    mStale1.advance(mLine1.get(), from1, n, wrap1);
    const int wrap2 = std::max(mLen2, 1);
    const int from2 = mPos2 + 1 >= mLen2 ? 0 : mPos2 + 1;
    if (mOld2 < mLen2) mStale2.settle(mLine2.get(), mOld2, n, wrap2);
    mStale2.advance(mLine2.get(), from2, n, wrap2);
}

void tPMCore::process(double* buf, int count) {
    if (mStale1.pending() || mStale2.pending()) settle(mChannels != 1 ? count / 2 : count);
    if (mRate == kReferenceRate)
        dispatch<false>(buf, count);
    else
        dispatch<true>(buf, count);
}
