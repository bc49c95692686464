#pragma once
// The array blob of the sample columns: the values as 8-byte big-endian
// doubles (a QDataStream with its default settings), no count, no header.

#include <QByteArray>
#include <QVector>

struct Data_Blob
{
    static QByteArray VectorToByteArray(const QVector<double>& values);
    // Reads until the stream ends; a trailing fragment of 1 to 7 bytes reads
    // as one more value 0.0.
    static QVector<double> ByteArrayToVector(const QByteArray& blob);
};
