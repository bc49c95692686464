// libFuzzer target for the frame reader: any byte stream must cut the same,
// sound frames whole, in pieces and with the buffer-editing reader, and the
// same frames as the box's own reader. Seeds: tests/link/corpus.

#include "EmuFrame.h"
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
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    const QList<QByteArray> frames = FrameReaderHarness::cutThroughBuffer(bytes, 0);
    EmuFrame::Reader box;
    box.Feed(bytes);
    EmuFrameRecord rec;
    int n = 0;
    while (box.Next(rec)) {
        if (n >= frames.size() || rec.payload != frames[n].mid(28)) {
            std::fprintf(stderr, "frame reader and box reader disagree at frame %d\n", n);
            std::abort();
        }
        ++n;
    }
    if (n != frames.size()) {
        std::fprintf(stderr, "box reader cut %d frames, frame reader %d\n", n, int(frames.size()));
        std::abort();
    }
    return 0;
}
