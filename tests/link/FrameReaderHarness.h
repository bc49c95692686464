#pragma once
// Runs a byte stream through the frame reader the way a link does (receive
// buffer, one cut per pass), fed whole and fed in pieces, and through the
// buffer-editing form of the reader, and checks that all of them cut the same
// frames, that every frame cut is sound and that the box's own reader cuts
// the same payloads. Shared by the corpus replay test and the fuzz target.

#include "ComDevice.h"
#include "ComFrame.h"
#include "EmuFrame.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtEndian>

#include <cstddef>
#include <cstdint>

namespace FrameReaderHarness
{
// Appends `stream` to a receive buffer in pieces of `piece` bytes (0: all at
// once) and cuts after each append with the transport's own receive pass.
inline QList<QByteArray> cutThroughBuffer(const QByteArray& stream, int piece)
{
    QList<QByteArray> frames;
    ComBuffer_Array buffer;
    const int step = piece > 0 ? piece : qMax(1, stream.size());
    for (int at = 0; at < stream.size(); at += step) {
        buffer.Append(stream.mid(at, step));
        buffer.Drain([&frames](QByteArray* data) {
            QByteArray frame;
            quint32 count = 0;
            if (ComFrame::Unpack(data->constData(), quint32(data->size()), frame, count))
                frames.append(frame);
            return count;
        });
    }
    return frames;
}

inline QList<QByteArray> cutEditing(QByteArray stream)
{
    QList<QByteArray> frames;
    while (!stream.isEmpty()) {
        QByteArray frame;
        quint32 consumed = 0;
        if (ComFrame::Unpack(stream, frame, consumed))
            frames.append(frame);
        if (consumed == 0)
            break;
        stream.remove(0, int(qMin<quint32>(consumed, quint32(stream.size()))));
    }
    return frames;
}

// Empty when all is well, else what went wrong.
inline QString check(const uint8_t* data, size_t size)
{
    const QByteArray stream(reinterpret_cast<const char*>(data), int(size));
    const QList<QByteArray> whole = cutThroughBuffer(stream, 0);
    for (const QByteArray& f : whole) {
        if (f.size() < int(ComFrame::HeaderSize))
            return QStringLiteral("short frame");
        const quint32 len = qFromLittleEndian<quint32>(f.constData() + 12);
        if (quint32(f.size()) != ComFrame::HeaderSize + len || len > ComFrame::MaxPayload)
            return QStringLiteral("frame length differs from its header");
        if (quint8(f[0]) != 0xAA || quint8(f[1]) != 0x55)
            return QStringLiteral("frame without sync");
        QByteArray* payload = ComFrame::GetData(f);
        const bool sound = quint32(payload->size()) == len
                           && ComFrame::CalcCheck(len, payload->constData())
                                  == qFromLittleEndian<quint32>(f.constData() + 20);
        delete payload;
        if (!sound)
            return QStringLiteral("payload check of a cut frame fails");
    }
    if (cutEditing(stream) != whole)
        return QStringLiteral("editing reader cuts other frames");
    for (int piece : {1, 3, 29}) {
        if (cutThroughBuffer(stream, piece) != whole)
            return QStringLiteral("stream fed in pieces of %1 cuts other frames").arg(piece);
    }
    EmuFrame::Reader box;
    box.Feed(stream);
    EmuFrameRecord rec;
    int n = 0;
    while (box.Next(rec)) {
        if (n >= whole.size() || rec.payload != whole[n].mid(int(ComFrame::HeaderSize)))
            return QStringLiteral("frame reader and box reader disagree at frame %1").arg(n);
        ++n;
    }
    if (n != whole.size())
        return QStringLiteral("box reader cut %1 frames, frame reader %2").arg(n).arg(whole.size());
    return QString();
}
}
