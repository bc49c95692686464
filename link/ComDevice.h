#pragma once
// Socket transport of the instrument link: one TCP client connection to one
// box, with its state flags, send queue and receive buffer. It knows nothing
// of the frame format; its owner cuts frames out of the receive buffer.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QWaitCondition>

#include <cstdint>

class QThread;

struct st_ComAddress
{
    QString host;
    quint16 port = 0;
};

// Four state flags under one lock.
class ComStatus : public QObject
{
    Q_OBJECT
public:
    enum : quint8 {
        AddressSet = 1,
        Connected = 2,
        Sending = 4,
        Receiving = 8,
    };

    explicit ComStatus(QObject* parent = nullptr);

    bool Test(quint8 mask);
    void Set(quint8 mask);
    void Clear(quint8 mask);
    // Takes the sending (4) or receiving (8) flag; false when not connected.
    // A flag held by another thread is waited for once. A flag already held by
    // the calling thread (a pass re-entered from a nested event loop) is not
    // waited for, since that wait could never end: the call returns false.
    bool Acquire(quint8 mask);
    quint8 Get();

private:
    void clearLocked(quint8 mask);

    quint8 m_flags = 0;
    QMutex m_lock;
    QWaitCondition m_sendCond;
    QWaitCondition m_recvCond;
    QThread* m_sendHolder = nullptr;
    QThread* m_recvHolder = nullptr;
};

// Frames handed over for writing, in sending order.
class ComBuffer_List : public QObject
{
    Q_OBJECT
public:
    explicit ComBuffer_List(QObject* parent = nullptr);
    ~ComBuffer_List() override;

    void Push(QByteArray* frame);
    QByteArray* Peek();
    QByteArray* Pop();
    // Takes one given frame out of the queue without deleting it.
    bool Take(QByteArray* frame);
    bool Contains(QByteArray* frame);
    void Clear();
    int Count();

private:
    QList<QByteArray*> m_list;
    QMutex m_lock;
    QWaitCondition m_cond;
};

// Received bytes not yet cut into frames. Bytes are dropped from the front by
// moving a read offset, and the rest is moved down once per receive pass
// (Compact), so cutting many frames out of one burst stays linear.
class ComBuffer_Array : public QObject
{
    Q_OBJECT
public:
    explicit ComBuffer_Array(QObject* parent = nullptr);

    void Append(const QByteArray& bytes);
    // The bytes not yet consumed, as an array over the buffer's own storage
    // (valid until the next Append, Remove, Compact or Clear).
    QByteArray* WaitData();
    void Remove(quint32 n);
    void Compact();
    void Clear();
    int Size();

    // One receive pass: hands the unread bytes to `cut` until it consumes
    // nothing (a frame still incomplete) or none are left, then moves the
    // rest down. `cut` returns how many bytes to drop; it may also have
    // removed bytes from the front of the array it was given itself, and its
    // count then starts behind them.
    template <typename Cut>
    void Drain(Cut&& cut)
    {
        quint32 count = 0;
        do {
            QByteArray* data = WaitData();
            const int before = data->size();
            count = cut(data);
            const quint32 dropped = data->size() < before ? quint32(before - data->size()) : 0u;
            Remove(dropped + count);
        } while (count != 0 && Size() > 0);
        Compact();
    }

private:
    QByteArray m_data;
    int m_head = 0;
    QByteArray m_view;
    QMutex m_lock;
    QWaitCondition m_cond;
};

class ComDevice : public QObject
{
    Q_OBJECT
public:
    explicit ComDevice(QObject* parent = nullptr);
    ~ComDevice() override;

    void SetAddress(const st_ComAddress& address);
    void Close();
    bool Connect();
    void Disconnect();
    // Queues the frame and writes the head of the queue. The frame passes to
    // the queue; it comes back through handleSended once written.
    bool Send(QByteArray* frame);
    // Takes a frame that has not been written yet back out of the send queue.
    bool Withdraw(QByteArray* frame);
    bool IsQueued(QByteArray* frame) { return m_sendList.Contains(frame); }
    // Hands what the sockets still hold to the system and (on Linux) waits
    // until each box has acknowledged it, at most until the deadline; true
    // when all of it went out. The links are waited for together: one that
    // stalls takes nothing from the others' share of the time.
    static bool Flush(const QList<ComDevice*>& devices, QDeadlineTimer deadline);

    QString Host() const { return m_host; }
    quint16 Port() const { return m_port; }
    ComStatus& Status() { return m_status; }
    int QueuedCount() { return m_sendList.Count(); }
    int BufferedCount() { return m_recvBuffer.Size(); }

Q_SIGNALS:
    void handleConnected();
    void handleClosed();
    void handleSended(QByteArray* data);
    void handleReceived(QByteArray* data, uint32_t* size);

public Q_SLOTS:
    void onTcpConnected();
    void onTcpDisconed();
    void onTcpRecved();

private:
    // Writes what the system takes now, without waiting; true once all of
    // it is written and (on Linux) acknowledged by the box.
    bool FlushedNow();
    bool SendNext();
    bool WriteFrame(QByteArray* frame);
    void ProcessRecv();
    void announceClose();

    QString m_host = QStringLiteral("0");
    quint16 m_port = 0;
    QTcpSocket* m_socket = nullptr;
    ComStatus m_status;
    ComBuffer_List m_sendList;
    ComBuffer_Array m_recvBuffer;
    // The peer closed while a receive pass was still handing frames on.
    bool m_closePending = false;
};
