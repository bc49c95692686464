// Throughput of the frame reader, as the link runs it: bytes appended to the
// receive buffer, one frame cut per pass, the rest moved down once per pass.
// memcpy and memchr over the same bytes, measured in the same run, are the
// yardsticks.

#include "ComDevice.h"
#include "ComFrame.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace
{
constexpr qint64 kStreamBytes = 64ll * 1024 * 1024;

QByteArray frameStream(int frameSize, int& frames)
{
    const int payload = frameSize - int(ComFrame::HeaderSize);
    QByteArray body(payload, '\0');
    QRandomGenerator rng(7);
    for (int i = 0; i < payload; ++i)
        body[i] = char(rng.bounded(256));
    QByteArray stream;
    stream.reserve(int(kStreamBytes + frameSize));
    frames = 0;
    while (stream.size() + frameSize <= kStreamBytes) {
        std::unique_ptr<QByteArray> f(ComFrame::Pack(st_ComRequest{6, body}, 0));
        stream += *f;
        ++frames;
    }
    return stream;
}

QByteArray garbageStream()
{
    QByteArray g(int(kStreamBytes), '\0');
    QRandomGenerator rng(11);
    for (int i = 0; i < g.size(); ++i) {
        quint8 v = quint8(rng.bounded(256));
        if (i > 0 && quint8(g[i - 1]) == 0xAA && v == 0x55)
            v = 0x56;
        g[i] = char(v);
    }
    return g;
}

// Cuts every frame out of `stream`, fed in the given pieces (empty: the whole
// stream already in the buffer). Returns the frame count.
qint64 readStream(const QByteArray& stream, const std::vector<int>& pieces, double& seconds)
{
    ComBuffer_Array buffer;
    qint64 frames = 0;
    QByteArray frame;
    auto cut = [&] {
        buffer.Drain([&](QByteArray* data) {
            quint32 count = 0;
            if (ComFrame::Unpack(data->constData(), quint32(data->size()), frame, count))
                ++frames;
            return count;
        });
    };
    QElapsedTimer t;
    if (pieces.empty()) {
        buffer.Append(stream);
        t.start();
        cut();
    } else {
        t.start();
        int at = 0;
        for (int n : pieces) {
            buffer.Append(QByteArray::fromRawData(stream.constData() + at, n));
            cut();
            at += n;
        }
    }
    seconds = double(t.nsecsElapsed()) / 1e9;
    return frames;
}

std::vector<int> randomPieces(int total, quint32 seed)
{
    std::vector<int> out;
    QRandomGenerator rng(seed);
    int at = 0;
    while (at < total) {
        const int n = qMin(total - at, 1 + int(rng.bounded(16384)));
        out.push_back(n);
        at += n;
    }
    return out;
}

double best(int runs, const std::function<double()>& f)
{
    double b = 1e30;
    for (int i = 0; i < runs; ++i)
        b = qMin(b, f());
    return b;
}

double mbps(qint64 bytes, double s)
{
    return double(bytes) / s / 1e6;
}

// Keeps the compiler from dropping or moving the measured work.
inline void keep(const void* p)
{
    asm volatile("" : : "r"(p) : "memory");
}
}

int main()
{
    std::printf("frame reader benchmark, %lld MB streams, best of 3 runs\n\n",
                kStreamBytes / (1024 * 1024));
    std::vector<char> dst(size_t(kStreamBytes) + 4096);

    const auto memcpyTime = [&](const QByteArray& s) {
        return best(3, [&] {
            QElapsedTimer t;
            t.start();
            keep(s.constData());
            std::memcpy(dst.data(), s.constData(), size_t(s.size()));
            keep(dst.data());
            return double(t.nsecsElapsed()) / 1e9;
        });
    };

    std::printf("%-34s %12s %10s %10s\n", "case", "frames/s", "MB/s", "x memcpy");
    for (int frameSize : {4096, 28}) {
        int frames = 0;
        const QByteArray stream = frameStream(frameSize, frames);
        const double base = memcpyTime(stream);
        const std::vector<int> pieces = randomPieces(stream.size(), 3);
        for (int mode = 0; mode < 2; ++mode) {
            qint64 got = 0;
            const double s = best(3, [&] {
                double sec = 0;
                got = readStream(stream, mode == 0 ? std::vector<int>() : pieces, sec);
                return sec;
            });
            if (got != frames) {
                std::fprintf(stderr, "lost frames: %lld of %d\n", got, frames);
                return 1;
            }
            char name[64];
            std::snprintf(name, sizeof name, "%d-byte frames, %s", frameSize,
                          mode == 0 ? "one buffer" : "random chunks");
            std::printf("%-34s %12.0f %10.0f %10.2f\n", name, double(got) / s,
                        mbps(stream.size(), s), base / s);
        }
        std::printf("%-34s %12s %10.0f %10.2f\n", "  memcpy of the same bytes", "",
                    mbps(stream.size(), base), 1.0);
    }

    const QByteArray garbage = garbageStream();
    const double readS = best(3, [&] {
        double sec = 0;
        if (readStream(garbage, {}, sec) != 0)
            std::fprintf(stderr, "frames found in garbage\n");
        return sec;
    });
    // memchr for a byte value the garbage does not hold: one full scan.
    QByteArray scan = garbage;
    const int absent = 0x55 + int(garbage.size() & 0); // not a compile-time constant
    for (int i = 0; i < scan.size(); ++i)
        if (quint8(scan[i]) == absent)
            scan[i] = char(absent + 1);
    const double chrS = best(3, [&] {
        QElapsedTimer t;
        t.start();
        keep(scan.constData());
        const void* hit = std::memchr(scan.constData(), absent, size_t(scan.size()));
        keep(hit);
        return double(t.nsecsElapsed()) / 1e9;
    });
    std::printf("\n%-34s %12s %10s %10s\n", "case", "", "MB/s", "x memchr");
    std::printf("%-34s %12s %10.0f %10.2f\n", "64 MB garbage without sync", "",
                mbps(garbage.size(), readS), chrS / readS);
    std::printf("%-34s %12s %10.0f %10.2f\n", "  memchr of the same bytes", "",
                mbps(scan.size(), chrS), 1.0);
    return 0;
}
