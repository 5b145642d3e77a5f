// The phase delays of the string loop's parts at one frequency, and the allpass coefficient
// that gives a wanted delay there. The voice uses them to keep a note's pitch what it is at
// 44100 Hz when it runs at another rate: there its loop filters delay the note by a
// different time and the whole-sample part of the string falls elsewhere.
#pragma once

// omega: angular frequency in radians per sample (0 < omega < π); delays in samples.
namespace stringtuning {

// The one-pole low pass y = b0·x + a1·y.
double onePoleDelay(double a1, double omega);
// The allpass y = c·x + x1 − c·y1 of the note-tuned delay line.
double allpassDelay(double c, double omega);
// The allpass coefficient whose delay at omega is `delay` (about 0.5 .. 1.5 for a well
// behaved allpass), kept within (−1, 1).
double allpassCoefficient(double delay, double omega);

} // namespace stringtuning
