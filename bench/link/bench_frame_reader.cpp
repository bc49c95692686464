// Throughput of the frame reader, as the link runs it: bytes appended to the
// receive buffer, one frame cut per pass, the rest moved down once per pass.
// The yardstick, measured in the same run on the same bytes, is a minimal
// reader with the same checks (sync pair, marker, header sum, length bound,
// payload check, a copy of every frame) walking one contiguous buffer.

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

// Keeps the compiler from dropping or moving the measured work.
inline void keep(const void* p)
{
    asm volatile("" : : "r"(p) : "memory");
}

quint16 le16(const char* p)
{
    return quint16(quint8(p[0]) | quint8(p[1]) << 8);
}

quint32 le32(const char* p)
{
    return quint32(quint8(p[0])) | quint32(quint8(p[1])) << 8 | quint32(quint8(p[2])) << 16
        | quint32(quint8(p[3])) << 24;
}

// The same checks in one pass over one buffer, nothing else.
qint64 minimalRead(const QByteArray& stream, double& seconds)
{
    const char* data = stream.constData();
    const qint64 size = stream.size();
    qint64 frames = 0;
    QByteArray frame;
    QElapsedTimer t;
    t.start();
    qint64 at = 0;
    while (at + 1 < size) {
        if (quint8(data[at]) != ComFrame::Sync0 || quint8(data[at + 1]) != ComFrame::Sync1) {
            ++at;
            continue;
        }
        if (size - at < qint64(ComFrame::HeaderSize))
            break;
        const char* h = data + at;
        const quint32 len = le32(h + 12);
        if (le16(h + 2) != ComFrame::Marker
            || le32(h + 16) != quint32(quint32(le16(h + 4)) + le16(h + 6) + le32(h + 8) + len)
            || len > ComFrame::MaxPayload) {
            at += 2;
            continue;
        }
        const qint64 total = qint64(ComFrame::HeaderSize) + len;
        if (size - at < total)
            break;
        if (le32(h + 20) != ComFrame::CalcCheck(len, h + ComFrame::HeaderSize)) {
            at += 2;
            continue;
        }
        frame = QByteArray(h, int(total));
        keep(frame.constData());
        ++frames;
        at += total;
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

}

int main()
{
    std::printf("frame reader benchmark, %lld MB streams, best of 3 runs\n\n",
                kStreamBytes / (1024 * 1024));
    std::printf("%-34s %12s %10s %12s\n", "case", "frames/s", "MB/s", "x minimal");
    auto minimal = [](const QByteArray& stream, qint64& got) {
        return best(3, [&] {
            double sec = 0;
            got = minimalRead(stream, sec);
            return sec;
        });
    };
    for (int frameSize : {4096, 28}) {
        int frames = 0;
        const QByteArray stream = frameStream(frameSize, frames);
        qint64 baseFrames = 0;
        const double base = minimal(stream, baseFrames);
        if (baseFrames != frames) {
            std::fprintf(stderr, "the minimal reader lost frames: %lld of %d\n", baseFrames, frames);
            return 1;
        }
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
            std::printf("%-34s %12.0f %10.0f %12.2f\n", name, double(got) / s, mbps(stream.size(), s), s / base);
        }
        std::printf("%-34s %12.0f %10.0f %12.2f\n", "  minimal reader, one buffer", double(frames) / base,
                    mbps(stream.size(), base), 1.0);
    }

    const QByteArray garbage = garbageStream();
    const double readS = best(3, [&] {
        double sec = 0;
        if (readStream(garbage, {}, sec) != 0)
            std::fprintf(stderr, "frames found in garbage\n");
        return sec;
    });
    qint64 none = 0;
    const double baseS = minimal(garbage, none);
    std::printf("%-34s %12s %10.0f %12.2f\n", "64 MB garbage without a frame", "", mbps(garbage.size(), readS),
                readS / baseS);
    std::printf("%-34s %12s %10.0f %12.2f\n", "  minimal reader, same bytes", "", mbps(garbage.size(), baseS), 1.0);
    return 0;
}
