#include "EmuSynth.h"

#include <cmath>

double EmuSynth::Gauss(QRandomGenerator& rng)
{
    double u1 = rng.generateDouble();
    const double u2 = rng.generateDouble();
    if (u1 < 1e-300)
        u1 = 1e-300;
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * M_PI * u2);
}

QVector<float> EmuSynth::CurrentWaveform(int n, const CurrentModel& m, QRandomGenerator& rng)
{
    QVector<float> out(qMax(n, 0));
    const int half = out.size() / 2;
    const int onSamples = out.size() / 4;
    const double atRamp = m.amplitude * (1.0 - std::exp(-onSamples / m.riseSamples));
    for (int k = 0; k < out.size(); ++k) {
        const int inHalf = half > 0 ? k % half : k;
        double i;
        if (inHalf < onSamples)
            i = m.amplitude * (1.0 - std::exp(-inHalf / m.riseSamples));
        else if (inHalf < onSamples + m.rampSamples)
            i = atRamp * (1.0 - double(inHalf - onSamples) / m.rampSamples);
        else
            i = 0.0;
        if (k < half)
            i = -i;
        out[k] = float(i + m.amplitude * m.noise * Gauss(rng));
    }
    return out;
}

QVector<float> EmuSynth::TurnOffWaveform(int n, const CurrentModel& m, QRandomGenerator& rng)
{
    QVector<float> out(qMax(n, 0));
    for (int k = 0; k < out.size(); ++k) {
        double i;
        if (k < m.offPlateau)
            i = m.amplitude;
        else if (k < m.offPlateau + m.rampSamples)
            i = m.amplitude * (1.0 - double(k - m.offPlateau) / m.rampSamples);
        else
            i = 0.0;
        out[k] = float(i + m.amplitude * m.noise * 0.1 * Gauss(rng));
    }
    return out;
}

double EmuSynth::DecayAt(double tUs, const DecayModel& m)
{
    return m.v0 * std::pow(1.0 + qMax(tUs, 0.0) / m.t0, -2.5);
}

QVector<float> EmuSynth::Decay(const QVector<double>& timesUs, int periods, const DecayModel& m,
                               QRandomGenerator& rng)
{
    const double stack = std::sqrt(double(qMax(periods, 1)));
    QVector<float> out(timesUs.size());
    for (int k = 0; k < timesUs.size(); ++k) {
        const double v = DecayAt(timesUs[k], m);
        out[k] = float(v * (1.0 + m.relativeNoise / stack * Gauss(rng))
                       + m.noiseFloor / stack * Gauss(rng));
    }
    return out;
}

QVector<float> EmuSynth::SelfCheck(int n, QRandomGenerator& rng)
{
    QVector<float> out(qMax(n, 0));
    for (int k = 0; k < out.size(); ++k)
        out[k] = float(std::exp(-k / 25.0) + 1e-4 * Gauss(rng));
    return out;
}
