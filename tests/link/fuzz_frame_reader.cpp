// libFuzzer target for the frame reader: any byte stream must cut the same,
// sound frames whole, in pieces and with the buffer-editing reader, and the
// same frames as the box's own reader. Seeds: tests/link/corpus.

#include "FrameReaderHarness.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    const QString problem = FrameReaderHarness::check(data, size);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "frame reader: %s\n", qPrintable(problem));
        std::abort();
    }
    return 0;
}
