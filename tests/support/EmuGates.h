#pragma once
// The emulated receiver's own gate windows. A real receiver lays out its
// gates by itself; the emulator does the same here, written apart from the
// program's gate code, so that a fault there shows as a mismatch instead of
// being copied into both ends.

#include <vector>

namespace EmuGates
{
// End times (us) of the gates for base frequency `hz`, sample rate `rate`
// and `channels` channels; empty when the box would refuse the request.
std::vector<double> EndTimes(double hz, double rate, int channels);

// Centre times (us) of the gates built from EndTimes: the first gate is the
// single sample at its end, each later one opens one sample period after
// the previous one closes.
std::vector<double> Centres(double hz, double rate, int channels);
}
