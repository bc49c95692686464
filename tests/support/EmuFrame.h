#pragma once
// The box side of the frame format, written apart from the program's codec so
// that tests check one against the other. Can also build damaged frames.

#include <QByteArray>
#include <QtGlobal>

struct EmuFrameRecord
{
    quint16 cmd = 0;
    quint16 type = 0;
    quint32 seq = 0;
    QByteArray payload;
    qint64 atMs = 0;    // ms since the epoch when the box read it
};

// Damage to put into one built frame.
struct EmuFault
{
    bool badHeaderSum = false;
    bool badPayloadCheck = false;
    bool hasMarker = false;
    quint16 marker = 0x8000;
    // Announce this payload length (header sum made to match) while still
    // carrying the real payload bytes.
    bool hasLength = false;
    quint32 length = 0;
};

namespace EmuFrame
{
constexpr int HeaderSize = 28;

quint32 Check(const QByteArray& payload);
QByteArray Build(quint16 cmd, quint16 type, quint32 seq, const QByteArray& payload,
                 const EmuFault& fault = EmuFault());
// Bytes that hold no AA 55 pair anywhere (and end in no AA).
QByteArray Garbage(int size, quint32 seed);

// Frame reader of the box: takes every whole, valid frame off the front of
// `buffer`, skipping damaged bytes one at a time.
class Reader
{
public:
    void Feed(const QByteArray& bytes);
    bool Next(EmuFrameRecord& out);
    qint64 SkippedBytes() const { return m_skipped; }
    void Reset()
    {
        m_buffer.clear();
        m_skipped = 0;
    }

private:
    QByteArray m_buffer;
    qint64 m_skipped = 0;
};
}
