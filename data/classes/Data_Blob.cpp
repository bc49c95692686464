#include "Data_Blob.h"

#include <QDataStream>
#include <QIODevice>

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
    QVector<double> values;
    values.reserve(int((blob.size() + 7) / 8));
    QDataStream in(blob);
    in.setFloatingPointPrecision(QDataStream::DoublePrecision);
    while (!in.atEnd()) {
        double v = 0.0;
        in >> v; // a short tail reads as 0.0 and ends the stream
        values.append(v);
    }
    return values;
}
