#pragma once
// Synthetic but physically plausible instrument data for the emulated boxes:
// a bipolar loop current whose pulses rise, hold a plateau and are cut by a
// linear ramp, and a receiver decay that falls roughly like t^-2.5 with a
// little noise.

#include <QRandomGenerator>
#include <QVector>

namespace EmuSynth
{
struct CurrentModel
{
    double amplitude = 8.0;     // plateau current, A
    double riseSamples = 8.0;   // time constant of the current rise, samples
    int rampSamples = 60;       // length of the linear turn-off ramp, samples
    int offPlateau = 100;       // turn-off waveform: samples of plateau before the ramp
    double noise = 0.002;       // relative noise
};

struct DecayModel
{
    double v0 = 5.0;            // volts at t = 0
    double t0 = 10.0;           // us: the decay goes like (1 + t/t0)^-2.5
    double relativeNoise = 0.01;
    double noiseFloor = 2e-9;   // volts, for one stacked period
};

// Gaussian noise of standard deviation 1.
double Gauss(QRandomGenerator& rng);

// One whole period of the transmitted current: a negative pulse, then a
// positive one, each switched on for a quarter period (rise, plateau) and
// off for the next quarter (linear ramp, zero).
QVector<float> CurrentWaveform(int n, const CurrentModel& m, QRandomGenerator& rng);
// The turn-off seen close up: plateau, linear ramp to zero, zero.
QVector<float> TurnOffWaveform(int n, const CurrentModel& m, QRandomGenerator& rng);

// Noise-free decay at time t (us).
double DecayAt(double tUs, const DecayModel& m);
// Decay values at the given times; the noise shrinks with the square root of
// the number of stacked periods.
QVector<float> Decay(const QVector<double>& timesUs, int periods, const DecayModel& m,
                     QRandomGenerator& rng);
// The receiver's internal calibration pulse for self-check mode.
QVector<float> SelfCheck(int n, QRandomGenerator& rng);
}
