#include "ComFrame.h"

#include <QtEndian>

#include <cstring>

quint32 g_comFrameSeq = 0;

namespace
{
inline quint16 rd16(const char* p) { return qFromLittleEndian<quint16>(p); }
inline quint32 rd32(const char* p) { return qFromLittleEndian<quint32>(p); }

// Position of the first AA 55 pair in [data, data + size), or -1. A final lone
// AA reports through `tailSync` so that it is kept: its 55 may still be on the
// way.
qint64 findSync(const char* data, quint32 size, bool& tailSync)
{
    tailSync = false;
    const char* p = data;
    const char* end = data + size;
    while (p < end) {
        const void* hit = std::memchr(p, ComFrame::Sync0, size_t(end - p));
        if (!hit)
            return -1;
        const char* a = static_cast<const char*>(hit);
        if (a + 1 == end) {
            tailSync = true;
            return -1;
        }
        if (quint8(a[1]) == ComFrame::Sync1)
            return a - data;
        p = a + 1;
    }
    return -1;
}

// Reading from a buffer that begins with AA 55. `fromSync` counts from the sync.
bool unpackAtSync(const char* data, quint32 size, QByteArray& frame, quint32& fromSync)
{
    fromSync = 0;
    if (size < ComFrame::HeaderSize)
        return false;
    const quint16 marker = rd16(data + 2);
    const quint16 cmd = rd16(data + 4);
    const quint16 type = rd16(data + 6);
    const quint32 seq = rd32(data + 8);
    const quint32 len = rd32(data + 12);
    const quint32 sum = rd32(data + 16);
    if (marker != ComFrame::Marker || sum != quint32(quint32(cmd) + type + seq + len)
        || len > ComFrame::MaxPayload) {
        fromSync = 2;
        return false;
    }
    const quint64 total = quint64(ComFrame::HeaderSize) + len;
    if (quint64(size) < total)
        return false;
    if (rd32(data + 20) != ComFrame::CalcCheck(len, data + ComFrame::HeaderSize)) {
        fromSync = 2;
        return false;
    }
    frame = QByteArray(data, int(total));
    fromSync = quint32(total);
    return true;
}
}

namespace ComFrame
{
QByteArray* Pack(const st_ComRequest& request, quint16 type)
{
    const quint32 seq = g_comFrameSeq++;
    const quint16 cmd = quint16(request.cmd & 0xFFFFu);
    const quint32 len = quint32(request.data.size());
    char p[HeaderSize];
    qToLittleEndian<quint32>(quint32(Sync0) | quint32(Sync1) << 8 | quint32(Marker) << 16, p);
    qToLittleEndian<quint16>(cmd, p + 4);
    qToLittleEndian<quint16>(type, p + 6);
    qToLittleEndian<quint32>(seq, p + 8);
    qToLittleEndian<quint32>(len, p + 12);
    qToLittleEndian<quint32>(quint32(quint32(cmd) + type + seq + len), p + 16);
    qToLittleEndian<quint32>(CalcCheck(len, request.data.constData()), p + 20);
    qToLittleEndian<quint32>(0, p + 24);
    auto* frame = new QByteArray;
    frame->reserve(int(HeaderSize + len));
    frame->append(p, int(HeaderSize));
    frame->append(request.data);
    return frame;
}

quint32 CalcCheck(quint32 len, const void* data)
{
    const auto* p = static_cast<const unsigned char*>(data);
    // Eight bytes at a time: the exclusive-or of the two little-endian 32-bit
    // halves equals the exclusive-or of the two words they hold.
    quint64 acc64 = 0;
    quint32 i = 0;
    for (; i + 8 <= len; i += 8) {
        quint64 w;
        std::memcpy(&w, p + i, 8);
        acc64 ^= w;
    }
    acc64 = qFromLittleEndian(acc64);
    quint32 acc = quint32(acc64) ^ quint32(acc64 >> 32);
    for (; i + 4 <= len; i += 4)
        acc ^= qFromLittleEndian<quint32>(p + i);
    if (i < len) {
        quint32 tail = 0;
        for (quint32 k = 0; i + k < len; ++k)
            tail |= quint32(p[i + k]) << (8 * k);
        acc ^= tail;
    }
    return acc;
}

bool Unpack(const char* data, quint32 size, QByteArray& frame, quint32& consumed)
{
    frame.clear();
    consumed = 0;
    bool tailSync = false;
    const qint64 at = findSync(data, size, tailSync);
    if (at < 0) {
        consumed = tailSync ? size - 1 : size;
        return false;
    }
    quint32 fromSync = 0;
    const bool ok = unpackAtSync(data + at, size - quint32(at), frame, fromSync);
    consumed = quint32(at) + fromSync;
    return ok;
}

bool Unpack(QByteArray& buffer, QByteArray& frame, quint32& consumed)
{
    frame.clear();
    consumed = 0;
    bool tailSync = false;
    const qint64 at = findSync(buffer.constData(), quint32(buffer.size()), tailSync);
    if (at < 0) {
        consumed = quint32(buffer.size()) - (tailSync ? 1 : 0);
        return false;
    }
    if (at > 0)
        buffer.remove(0, int(at));
    return unpackAtSync(buffer.constData(), quint32(buffer.size()), frame, consumed);
}

quint16 GetType(const QByteArray& frame)
{
    return frame.size() >= 8 ? rd16(frame.constData() + 6) : 0;
}

quint16 GetCmd(const QByteArray& frame)
{
    return frame.size() >= 6 ? rd16(frame.constData() + 4) : 0;
}

quint32 GetSeq(const QByteArray& frame)
{
    return frame.size() >= 12 ? rd32(frame.constData() + 8) : 0;
}

QByteArray* GetData(const QByteArray& frame)
{
    if (frame.size() < int(HeaderSize))
        return new QByteArray;
    quint32 len = rd32(frame.constData() + 12);
    const quint32 avail = quint32(frame.size()) - HeaderSize;
    if (len > avail)
        len = avail;
    return new QByteArray(frame.constData() + HeaderSize, int(len));
}
}
