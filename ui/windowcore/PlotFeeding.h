#pragma once
// The arithmetic behind the window's waveform plots: the transmitted current
// and the turn-off waveform as curves, and the developer's correction of the
// turn-off ramp. Qt Core only, so it is tested without a plot.

#include <QVector>

struct WaveCurve
{
    QVector<double> x;
    QVector<double> y;
};

// Highest transmitter sample rate taken as real, in Hz.
constexpr double kMaxSendSampleRate = 100000000.0;

// The current waveform of one period at fs: x in ms from 1000 / (fs n) to
// 1000 / fs, y the samples less their mean. False (curve untouched) for a
// rate that is not a positive number no higher than kMaxSendSampleRate.
bool SendWaveCurve(double fs, const QVector<double>& data, WaveCurve* curve);

// The turn-off waveform sampled at fs: x in microseconds after the first
// sample, y the samples less the mean of the last five (of all when fewer).
// False (curve untouched) for a rate that is not a positive number.
bool OffWaveCurve(double fs, const QVector<double>& data, WaveCurve* curve);

// Replaces the curve before 32 % of its length by a straight line through
// the point there, with 91 % of the mean slope between 12 % and 32 %; fewer
// than four values come back unchanged.
QVector<double> fitTurnOffRamp(const QVector<double>& x, QVector<double> y);
