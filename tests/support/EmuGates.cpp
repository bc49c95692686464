#include "EmuGates.h"

#include <cmath>
#include <utility>

namespace
{
// Beyond this many gates, or this many samples in a quarter period, the box
// refuses the request.
constexpr int MostGates = 4096;
constexpr double MostSamples = 16777216.0;
}

std::vector<double> EmuGates::EndTimes(double hz, double rate, int channels)
{
    if (!(hz > 0.0) || !(rate > 0.0) || !std::isfinite(hz) || !std::isfinite(rate)
        || channels < 2 || channels > MostGates)
        return {};
    const double quarter = 250000.0 / hz;          // us
    const double period = 1e6 / rate;              // one sample, us
    if (quarter / period > MostSamples)
        return {};

    // Logarithmic ladder from 10^(L/N) up to the quarter period.
    const double exponentStep = std::log10(quarter) / channels;
    std::vector<double> ladder;
    ladder.reserve(channels);
    for (int rung = 1; rung <= channels; ++rung)
        ladder.push_back(std::pow(10.0, rung * exponentStep));

    // The rungs below the first step wider than a sample are replaced by
    // whole samples up to that rung.
    std::size_t wide = 1;
    for (std::size_t i = 1; i < ladder.size(); ++i) {
        if (ladder[i] - ladder[i - 1] > period) {
            wide = i;
            break;
        }
    }
    const double wholeSamples = std::floor(ladder[wide] / period);
    if (wholeSamples + channels > MostGates)
        return {};
    std::vector<double> ends;
    for (int k = 1; k <= int(wholeSamples); ++k)
        ends.push_back(k * period);
    ends.insert(ends.end(), ladder.begin() + long(wide), ladder.end());

    // At least one sample apart, then on the sample grid (with the box's
    // fixed half microsecond).
    for (std::size_t i = 1; i < ends.size(); ++i)
        if (ends[i] - ends[i - 1] < period)
            ends[i] = ends[i - 1] + period;
    for (double& e : ends)
        e = std::trunc((e + 0.5) / period) * period;
    if (ends.size() < 2)
        return ends;

    // Gate widths; one pass in which a width shorter than its predecessor by
    // half a sample or more trades places with the first width after the
    // last one it is not that much shorter than.
    std::vector<double> widths(ends.size());
    widths[0] = ends[0];
    for (std::size_t i = 1; i < ends.size(); ++i)
        widths[i] = ends[i] - ends[i - 1];
    const double half = period / 2;
    for (std::size_t next = 1; next < widths.size(); ++next) {
        if (widths[next] - widths[next - 1] > -half)
            continue;
        std::size_t slot = 0;
        for (std::size_t back = next; back-- > 0;) {
            if (widths[next] - widths[back] > -half) {
                slot = back + 1;
                break;
            }
        }
        std::swap(widths[slot], widths[next]);
    }

    double sum = 0.0;
    for (std::size_t i = 0; i < widths.size(); ++i) {
        sum += widths[i];
        ends[i] = sum;
    }
    return ends;
}

std::vector<double> EmuGates::Centres(double hz, double rate, int channels)
{
    const std::vector<double> ends = EndTimes(hz, rate, channels);
    std::vector<double> centres;
    centres.reserve(ends.size());
    const double period = 1e6 / rate;
    double previousEnd = 0.0;
    for (std::size_t i = 0; i < ends.size(); ++i) {
        const double start = i == 0 ? ends[0] : previousEnd + period;
        centres.push_back((start + ends[i]) * 0.5);
        previousEnd = ends[i];
    }
    return centres;
}
