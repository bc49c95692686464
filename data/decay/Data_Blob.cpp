#include "Data_Blob.h"

#include <QDataStream>
#include <QIODevice>
#include <QtEndian>

#include <cstring>

QByteArray Data_Blob::VectorToByteArray(const QVector<double>& values)
{
    QByteArray blob;
    QDataStream out(&blob, QIODevice::WriteOnly);
    for (double v : values)
        out << v;
    return blob;
}

QVector<double> Data_Blob::ByteArrayToVector(const QByteArray& blob)
{
    // Decoded directly rather than through a data stream, which is several
    // times slower on the decay path; the values are the same to the bit.
    QVector<double> values;
    const int whole = blob.size() / 8;
    const bool fragment = blob.size() % 8 != 0;
    values.reserve(whole + (fragment ? 1 : 0));
    const uchar* p = reinterpret_cast<const uchar*>(blob.constData());
    for (int i = 0; i < whole; ++i) {
        const quint64 bits = qFromBigEndian<quint64>(p + 8 * i);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        values.append(d);
    }
    if (fragment)
        values.append(0.0); // as a data stream reads a short tail
    return values;
}
