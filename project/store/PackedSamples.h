#pragma once
// The stored arrays of an export's samples, packed on the reading thread and
// decoded where an export's piece is made; no database is touched here.

#include "Data_Blob.h"
#include "Data_Sample.h"
#include "DecayMath.h"
#include "ExportFile.h"

#include <QByteArray>
#include <QVector>

#include <new>

// A sample's arrays decoded, and what the readers of Data_Sample make of
// them, computed the same way: the pieces of an export are made from these
// on other threads without touching the file.
struct SampleArrays
{
    QVector<double> recv;    // DATA_RECV
    QVector<double> times;   // DATA_RECV_POS, us
    QVector<double> send;    // DATA_SEND, as far as current() reads it
    QVector<double> off;     // DATA_SOFF
    double offFs = 0.0;      // SampleOffFs

    // Data_Sample::GetSendI.
    double current() const { return DecayMath::StoredSendI(send); }
    // Data_Sample::GetOffTime.
    double offTime() const { return DecayMath::CalcOffTime(offFs, off); }
    // Data_Sample::GetRecvData, with the turn-off time and (for divI) the
    // current worked out once by the caller.
    void curve(QVector<double>* values, QVector<double>* t, int mode, bool divI, double offUs, double amps) const
    {
        *values = recv;
        if (divI) {
            for (double& x : *values)
                x /= amps;
        }
        *t = times;
        DecayMath::CalcDecay(*values, *t, offUs, mode);
    }
};

// The stored arrays of some samples, copied back to back into one buffer on
// the reading thread (one allocation, no decoding there) and decoded where
// the piece is made.
struct PackedSamples
{
    struct Span
    {
        int begin = 0;
        int size = 0;
    };
    struct Sample
    {
        Span recv;
        Span times;
        Span send;            // the stretches of DATA_SEND its current is worked out from
        int sendValues = 0;   // the values DATA_SEND decodes to
        Span off;
        double offFs = 0.0;
    };

    // A copy of size bytes at the end of the buffer. Bytes beyond what one
    // buffer holds (ExportBufferLimit), or a buffer that cannot be had, are
    // not added and leave noRoom set: the export fails rather than aborts.
    Span add(const char* data, int size)
    {
        if (noRoom || qint64(bytes.size()) + size > ExportBufferLimit()) {
            noRoom = true;
            return Span();
        }
        const Span s{bytes.size(), size};
        try {
            bytes.append(data, size);
        } catch (const std::bad_alloc&) {
            noRoom = true;
            return Span();
        }
        return s;
    }
    Span add(const QByteArray& blob) { return add(blob.constData(), blob.size()); }

    // Room for count more samples of perSample bytes each, so they go in
    // without the buffer growing; sizes are worked out in 64 bits. Room that
    // would not fit in one buffer, or cannot be had, is not taken: only what
    // is really added counts against the limit.
    void reserveFor(qint64 perSample, qint64 count)
    {
        const qint64 total = qint64(bytes.size()) + perSample * count;
        if (noRoom || perSample <= 0 || count <= 0 || total > ExportBufferLimit())
            return;
        try {
            bytes.reserve(int(total));
        } catch (const std::bad_alloc&) {
        }
    }

    // Of the transmitter array only what its current is worked out from is
    // kept (DecayMath::SendIStretchOf; never a short tail).
    static int sendValues(int bytes) { return bytes / 8 + (bytes % 8 != 0 ? 1 : 0); }
    static qint64 sendBytes(int bytes) { return 2 * 8 * qint64(DecayMath::SendIStretchOf(sendValues(bytes)).count); }
    void addSend(const char* data, int size, Sample* s)
    {
        const int n = sendValues(size);
        const DecayMath::SendIStretch read = DecayMath::SendIStretchOf(n);
        const int stretch = 8 * read.count;
        s->sendValues = n;
        s->send = add(data + 8 * read.first, stretch);
        add(data + 8 * (read.first + read.half), stretch);
        s->send.size += stretch;
    }
    // The transmitter array as long as stored, zero where it is not kept.
    QVector<double> sendWave(const Sample& s) const
    {
        const DecayMath::SendIStretch read = DecayMath::SendIStretchOf(s.sendValues);
        QVector<double> wave(s.sendValues, 0.0);
        const QVector<double> kept = decoded(s.send);
        for (int i = 0; i < read.count; ++i) {
            wave[read.first + i] = kept[i];
            wave[read.first + read.half + i] = kept[read.count + i];
        }
        return wave;
    }

    // The arrays of a sample object as it holds them (send only when asked).
    void addHeld(const Data_Sample& held, bool withSend)
    {
        Sample s;
        s.recv = add(held.DATA_RECV);
        s.times = add(held.DATA_RECV_POS);
        if (withSend)
            addSend(held.DATA_SEND.constData(), held.DATA_SEND.size(), &s);
        s.off = add(held.DATA_SOFF);
        s.offFs = held.SampleOffFs;
        samples.append(s);
    }
    QVector<double> decoded(Span s) const
    {
        return Data_Blob::ByteArrayToVector(QByteArray::fromRawData(bytes.constData() + s.begin, s.size));
    }
    SampleArrays arrays(int i) const
    {
        const Sample& s = samples.at(i);
        SampleArrays a;
        a.recv = decoded(s.recv);
        a.times = decoded(s.times);
        a.send = sendWave(s);
        a.off = decoded(s.off);
        a.offFs = s.offFs;
        return a;
    }

    QByteArray bytes;
    QVector<Sample> samples;
    // Set when bytes did not fit (see add); what was added since is incomplete.
    bool noRoom = false;
};
