#pragma once
// Decoders of the payloads the two instrument boxes send: reply result
// words, the receiver's decay push and the transmitter's waveform, monitor
// and device-information frames. Each works on the payload bytes alone and
// never reads past their end, whatever the counts inside them claim.

#include "DeviceRecords.h"
#include "RecvGates.h"

#include <QByteArray>

namespace ComPayload
{
// The unsigned 32-bit result word at the start of a reply. False, with
// *code left untouched, when the payload is shorter than the word.
bool ReadResult(const QByteArray& payload, quint32* code);

// The first byte of a reply. False when the payload is empty.
bool ReadFlagByte(const QByteArray& payload, quint8* flag);

// Number of float samples in a receiver push of L bytes (8 trailing bytes
// are not samples).
int RecvSampleCount(int payloadSize);

// Decodes a receiver push with the last configuration and the current gate
// table. False when the push is dropped (gate mode with more samples than
// gates). The gate table is read only as far as it really holds entries.
bool DecodeRecvData(const QByteArray& payload, const st_RecvParam& config,
                    const st_RecvGateTable& gates, qint64 receiveTime,
                    st_RecvData_DUD4004* out);

// Moves a decay value off zero into [1e-9, ...) or (..., -1e-9].
double ClampOffZero(double v);

// Decodes a waveform push. False, with nothing written, when the payload is
// shorter than the 4024-byte layout.
bool DecodeSendData(const QByteArray& payload, double baseFreq,
                    st_TEMSendData* data, st_TEMSendMonitor* monitor);

// Monitor values from the first 16 bytes. False when fewer are present.
bool DecodeMonitor(const QByteArray& payload, st_TEMSendMonitor* monitor);

// Device information: exactly 24 bytes, else false.
bool DecodeDeviceInfo(const QByteArray& payload, st_DeviceInfo* info);

// Layout of the waveform push.
constexpr int SendDataSize = 4024;
constexpr int SendMaxSamples = 500;
constexpr int SendCurrentOffset = 8;
constexpr int SendOffOffset = 2008;
constexpr int SendMonitorOffset = 4008;
}
