#pragma once
// Shared helpers of the protocol tests: reading little-endian fields out of
// the bytes an emulated box recorded.

#include <QByteArray>
#include <QtEndian>

#include <cstring>

inline qint32 le32(const QByteArray& b, int at)
{
    return qFromLittleEndian<qint32>(b.constData() + at);
}

inline quint32 leU32(const QByteArray& b, int at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

inline qint64 le64(const QByteArray& b, int at)
{
    return qFromLittleEndian<qint64>(b.constData() + at);
}

inline float leFloat(const QByteArray& b, int at)
{
    const quint32 bits = leU32(b, at);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

inline double leDouble(const QByteArray& b, int at)
{
    const quint64 bits = qFromLittleEndian<quint64>(b.constData() + at);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

inline bool allZero(const QByteArray& b, int from, int to)
{
    for (int i = from; i < to; ++i)
        if (b.at(i) != 0)
            return false;
    return true;
}

inline QByteArray resultBytes(quint32 code)
{
    QByteArray b(4, '\0');
    qToLittleEndian<quint32>(code, b.data());
    return b;
}
