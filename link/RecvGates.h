#pragma once
// The receiver's automatic gate channels. In gate mode the receiver box sums
// its raw samples into gates and pushes one value per gate; it is told only
// the base frequency and the number of channels, so the program rebuilds the
// same gate windows here to give each pushed value a time and a width.
// All times are microseconds.

#include <QPair>
#include <QVector>

struct st_RecvGateTable
{
    float GateFreq = 0.0f;              // base frequency the table was built for, Hz
    int GateCount = 0;                  // entries in Gates
    int DataType = 0;                   // 1 once a table has been built
    QVector<QPair<double, double>> Gates; // [start, end] per gate
};

namespace RecvGates
{
// Gate end times, rising, for base frequency F, sample rate R and N channels.
// The result usually has fewer than N entries (the early logarithmic times
// that lie closer than one sample period are replaced by whole sample
// periods), and more than N with very few channels. Fewer than 2 channels,
// a frequency or rate that is not a positive finite number, or a request
// that would make more than 4096 gates or more than 2^24 samples in a
// quarter period give an empty list at once.
QVector<double> CalcAutoTimes(double F, double R, int N);

// Rebuilds the table from CalcAutoTimes: gate 0 is [t0, t0], each later gate
// starts one sample period after the previous gate ends.
void Build(st_RecvGateTable& table, float baseFreq, float sampleRate, int channelCount);

// Rebuilds the table by sample index (logarithmic index ranges over a quarter
// period). A channel count of 0 or less or above 4096, a frequency or rate
// that is not a positive finite number, or more than 2^24 samples in a
// quarter period leave the table unchanged.
void BuildByIndex(st_RecvGateTable& table, float baseFreq, float sampleRate, int channelCount);
}
