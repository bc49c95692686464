#pragma once
// One emulated instrument box: a TCP server on loopback that reads the
// program's frames, records them, answers per command and pushes frames of
// its own, optionally through a damaging byte stream.
//
// Device behaviour is added per command: SetHandler() with a function, or a
// subclass overriding HandleFrame(). Unknown commands are answered by the
// default handler (none: no answer).

#include "EmuFrame.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QElapsedTimer>
#include <QQueue>
#include <QRandomGenerator>
#include <QString>

#include <functional>

class QTcpServer;
class QTcpSocket;
class QTimer;

class EmulatedBox : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<void(EmulatedBox& box, const EmuFrameRecord& request)>;
    using PayloadSource = std::function<QByteArray(int index)>;

    // How written bytes are cut before they reach the socket.
    enum class Chunking {
        Whole,          // each SendRaw() in one write
        ByteByByte,     // one byte per write
        RandomChunks,   // writes of 1..maxChunk bytes
    };

    explicit EmulatedBox(const QString& name, QObject* parent = nullptr);
    ~EmulatedBox() override;

    // Only 127.0.0.0/8: any other address is refused with an error text.
    static bool IsAllowedAddress(const QHostAddress& address);
    bool Listen(const QHostAddress& address, quint16 port = 0, QString* error = nullptr);
    void Stop();
    QString Name() const { return m_name; }
    QHostAddress Address() const;
    quint16 Port() const;

    // ---- behaviour per command ----
    void SetHandler(quint16 cmd, Handler handler);
    void SetDefaultHandler(Handler handler);
    // Canned answers: `payload` as a frame of `type` (1 a reply), `delayMs`
    // after the request.
    void ReplyWith(quint16 cmd, const QByteArray& payload, int delayMs = 0, quint16 type = 1);
    void NeverReply(quint16 cmd);

    // ---- frames out ----
    // An answer to `request`, carrying its sequence number.
    void Reply(const EmuFrameRecord& request, const QByteArray& payload, int delayMs = 0,
               quint16 type = 1);
    // An unsolicited frame with the box's own sequence number.
    void Push(quint16 cmd, const QByteArray& payload, quint16 type = 0);
    QByteArray BuildPush(quint16 cmd, const QByteArray& payload, quint16 type = 0,
                         const EmuFault& fault = EmuFault());
    // Pushes `count` frames (-1: until stopped) every `intervalMs`; returns an id.
    int SchedulePush(quint16 cmd, PayloadSource payload, int intervalMs, int count = -1);
    void StopPush(int id);
    void StopAllPushes();
    // Bytes to the connected client, cut by the chunking mode, in order.
    void SendRaw(const QByteArray& bytes);
    // A stalled link: while held, nothing the box sends reaches the client
    // (answers and pushes alike); released, all of it goes out at once, in
    // order, as a link that comes back delivers what it held.
    void HoldDeliveries(bool hold);
    bool DeliveriesHeld() const { return m_held; }
    // A slower link: what the box sends from now on reaches the client `ms`
    // later (0: at once), still in order, as a link whose latency changed.
    void SetDeliveryDelay(int ms) { m_deliveryDelayMs = qMax(0, ms); }
    // Closes the client connection once everything sent before has gone out.
    void CloseClientAfterWrites();
    // Closes the client connection in order (FIN), after what is under way.
    void CloseClient();
    // Tears the client connection down at once with a reset (RST), as a box
    // that loses power or a link that breaks does: what was not sent is lost.
    void ResetClient();
    void SetChunking(Chunking mode, int maxChunk = 16, quint32 seed = 1);

    // ---- what the box saw ----
    QList<EmuFrameRecord> Received() const { return m_received; }
    QList<EmuFrameRecord> ReceivedOf(quint16 cmd) const;
    qint64 SkippedBytes() const { return m_reader.SkippedBytes(); }
    bool HasClient() const;
    int ConnectionsAccepted() const { return m_accepted; }

Q_SIGNALS:
    void frameReceived(const EmuFrameRecord& frame);
    // An unsolicited frame the box sent, with its payload (held or not).
    void pushed(quint16 cmd, const QByteArray& payload);
    void clientConnected();
    void clientDisconnected();

protected:
    // Default: the handler of the frame's command, else the default handler.
    virtual void HandleFrame(const EmuFrameRecord& frame);

private:
    struct Piece {
        QByteArray bytes;
        bool close = false;
    };
    struct PushJob {
        QTimer* timer = nullptr;
        int sent = 0;
    };

    void onNewConnection();
    void onReadyRead();
    void pump();

    QString m_name;
    QTcpServer* m_server = nullptr;
    QPointer<QTcpSocket> m_client;
    EmuFrame::Reader m_reader;
    QList<EmuFrameRecord> m_received;
    QHash<quint16, Handler> m_handlers;
    Handler m_default;
    QQueue<Piece> m_out;
    QTimer* m_pumpTimer = nullptr;
    Chunking m_chunking = Chunking::Whole;
    int m_maxChunk = 16;
    bool m_held = false;
    int m_deliveryDelayMs = 0;
    // Frames on their way through a slower link, with when they arrive.
    struct Delayed {
        qint64 due;
        QByteArray bytes;
    };
    QQueue<Delayed> m_delayed;
    QElapsedTimer m_linkClock;
    QTimer* m_delayTimer = nullptr;
    void enqueueRaw(const QByteArray& bytes);
    void deliverDelayed();
    QRandomGenerator m_rng;
    quint32 m_pushSeq = 0x10000;
    QHash<int, PushJob> m_pushes;
    int m_nextPushId = 1;
    int m_accepted = 0;
};
