#include "EmuFrame.h"

#include <QDateTime>
#include <QRandomGenerator>

namespace
{
void put16(QByteArray& b, int at, quint16 v)
{
    b[at] = char(v & 0xFF);
    b[at + 1] = char(v >> 8);
}
void put32(QByteArray& b, int at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}
quint16 get16(const QByteArray& b, int at)
{
    return quint16(quint8(b[at]) | quint8(b[at + 1]) << 8);
}
quint32 get32(const QByteArray& b, int at)
{
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v |= quint32(quint8(b[at + i])) << (8 * i);
    return v;
}
}

namespace EmuFrame
{
quint32 Check(const QByteArray& payload)
{
    quint32 acc = 0;
    for (int i = 0; i < payload.size(); ++i)
        acc ^= quint32(quint8(payload[i])) << (8 * (i % 4));
    return acc;
}

QByteArray Build(quint16 cmd, quint16 type, quint32 seq, const QByteArray& payload,
                 const EmuFault& fault)
{
    QByteArray b(HeaderSize, '\0');
    b[0] = char(0xAA);
    b[1] = char(0x55);
    put16(b, 2, fault.hasMarker ? fault.marker : 0x8000);
    put16(b, 4, cmd);
    put16(b, 6, type);
    put32(b, 8, seq);
    const quint32 len = fault.hasLength ? fault.length : quint32(payload.size());
    put32(b, 12, len);
    quint32 sum = quint32(cmd) + type + seq + len;
    if (fault.badHeaderSum)
        sum ^= 0x00010000u;
    put32(b, 16, sum);
    quint32 check = Check(payload);
    if (fault.badPayloadCheck)
        check ^= 0x5A5A0001u;
    put32(b, 20, check);
    put32(b, 24, 0);
    return b + payload;
}

QByteArray Garbage(int size, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i) {
        quint8 v = quint8(rng.generate());
        if (i > 0 && quint8(b[i - 1]) == 0xAA && v == 0x55)
            v = 0x56;
        if (i == size - 1 && v == 0xAA)
            v = 0xAB;
        b[i] = char(v);
    }
    return b;
}

void Reader::Feed(const QByteArray& bytes)
{
    m_buffer.append(bytes);
}

bool Reader::Next(EmuFrameRecord& out)
{
    for (;;) {
        int at = 0;
        while (at + 1 < m_buffer.size()
               && !(quint8(m_buffer[at]) == 0xAA && quint8(m_buffer[at + 1]) == 0x55))
            ++at;
        if (at + 1 >= m_buffer.size()) {
            // Keep a final AA: its 55 may follow.
            const int keep = (!m_buffer.isEmpty() && quint8(m_buffer.back()) == 0xAA) ? 1 : 0;
            m_skipped += m_buffer.size() - keep;
            m_buffer.remove(0, m_buffer.size() - keep);
            return false;
        }
        m_skipped += at;
        m_buffer.remove(0, at);
        if (m_buffer.size() < HeaderSize)
            return false;
        const quint16 cmd = get16(m_buffer, 4), type = get16(m_buffer, 6);
        const quint32 seq = get32(m_buffer, 8), len = get32(m_buffer, 12);
        const bool headerOk = get16(m_buffer, 2) == 0x8000
                              && get32(m_buffer, 16) == quint32(cmd + type + seq + len)
                              && len <= 16u * 1024u * 1024u;
        if (!headerOk) {
            m_buffer.remove(0, 1);
            ++m_skipped;
            continue;
        }
        if (quint64(m_buffer.size()) < quint64(HeaderSize) + len)
            return false;
        const QByteArray payload = m_buffer.mid(HeaderSize, int(len));
        if (get32(m_buffer, 20) != Check(payload)) {
            m_buffer.remove(0, 1);
            ++m_skipped;
            continue;
        }
        out.cmd = cmd;
        out.type = type;
        out.seq = seq;
        out.payload = payload;
        out.atMs = QDateTime::currentMSecsSinceEpoch();
        m_buffer.remove(0, HeaderSize + int(len));
        return true;
    }
}
}
