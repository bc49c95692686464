#pragma once
// Frame codec of the instrument link. Every message to or from a box is one
// frame: a 28-byte little-endian header followed by the payload.
//
//   0  AA 55        sync
//   2  u16 0x8000   marker
//   4  u16          command code
//   6  u16          frame type (0 request or push, 1 reply)
//   8  u32          sequence number
//  12  u32          payload length L
//  16  u32          header sum: cmd + type + seq + L (mod 2^32)
//  20  u32          payload check (CalcCheck)
//  24  u32          reserved, 0
//  28  L bytes      payload

#include <QByteArray>
#include <QtGlobal>

// One request as handed to the packer.
struct st_ComRequest
{
    quint32 cmd = 0;
    QByteArray data;
};

// Process-wide sequence counter shared by every link; never reset.
extern quint32 g_comFrameSeq;

namespace ComFrame
{
constexpr quint32 HeaderSize = 28;
constexpr quint16 Marker = 0x8000;
constexpr quint8 Sync0 = 0xAA;
constexpr quint8 Sync1 = 0x55;
// No real frame comes near this; a header announcing more is taken as
// damaged rather than holding the stream until that many bytes arrive.
constexpr quint32 MaxPayload = 16u * 1024u * 1024u;

constexpr quint16 TypeRequest = 0;
constexpr quint16 TypeReply = 1;

// A new heap frame (owned by the caller) holding the header and a copy of the
// request's payload. Consumes one sequence number.
QByteArray* Pack(const st_ComRequest& request, quint16 type);

quint32 CalcCheck(quint32 len, const void* data);

// Reads one frame from the front of `buffer`. Bytes before the first sync are
// removed from the buffer inside the call; `consumed` then tells, counted from
// the new start, how many more bytes the caller is to drop before the next
// call (0: wait for more bytes). Returns true when a whole frame whose checks
// pass begins the buffer; `frame` then holds a copy of it.
bool Unpack(QByteArray& buffer, QByteArray& frame, quint32& consumed);

// The same reading over bytes the caller keeps (nothing is removed): here
// `consumed` counts from `data` itself and includes any bytes skipped before
// the sync. A whole buffer can be cut with one linear walk this way.
bool Unpack(const char* data, quint32 size, QByteArray& frame, quint32& consumed);

// Field readers for frames that Unpack returned.
quint16 GetType(const QByteArray& frame);
quint16 GetCmd(const QByteArray& frame);
quint32 GetSeq(const QByteArray& frame);
// A new heap payload (owned by the caller).
QByteArray* GetData(const QByteArray& frame);
}
