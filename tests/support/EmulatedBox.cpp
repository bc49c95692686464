#include "EmulatedBox.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

EmulatedBox::EmulatedBox(const QString& name, QObject* parent)
    : QObject(parent), m_name(name), m_rng(1)
{
    m_server = new QTcpServer(this);
    connect(m_server, &QTcpServer::newConnection, this, &EmulatedBox::onNewConnection);
    m_pumpTimer = new QTimer(this);
    m_pumpTimer->setSingleShot(true);
    connect(m_pumpTimer, &QTimer::timeout, this, &EmulatedBox::pump);
}

EmulatedBox::~EmulatedBox()
{
    StopAllPushes();
}

bool EmulatedBox::IsAllowedAddress(const QHostAddress& address)
{
    if (address.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    return (address.toIPv4Address() >> 24) == 127u;
}

bool EmulatedBox::Listen(const QHostAddress& address, quint16 port, QString* error)
{
    if (!IsAllowedAddress(address)) {
        if (error)
            *error = QStringLiteral("%1: refusing to listen on %2: the emulator binds only to "
                                    "loopback addresses 127.0.0.0/8")
                         .arg(m_name, address.toString());
        return false;
    }
    if (!m_server->listen(address, port)) {
        if (error)
            *error = QStringLiteral("%1: cannot listen on %2:%3: %4")
                         .arg(m_name, address.toString())
                         .arg(port)
                         .arg(m_server->errorString());
        return false;
    }
    return true;
}

void EmulatedBox::Stop()
{
    StopAllPushes();
    CloseClient();
    m_server->close();
}

QHostAddress EmulatedBox::Address() const
{
    return m_server->serverAddress();
}

quint16 EmulatedBox::Port() const
{
    return m_server->serverPort();
}

void EmulatedBox::SetHandler(quint16 cmd, Handler handler)
{
    m_handlers.insert(cmd, std::move(handler));
}

void EmulatedBox::SetDefaultHandler(Handler handler)
{
    m_default = std::move(handler);
}

void EmulatedBox::ReplyWith(quint16 cmd, const QByteArray& payload, int delayMs, quint16 type)
{
    SetHandler(cmd, [payload, delayMs, type](EmulatedBox& box, const EmuFrameRecord& req) {
        box.Reply(req, payload, delayMs, type);
    });
}

void EmulatedBox::NeverReply(quint16 cmd)
{
    SetHandler(cmd, [](EmulatedBox&, const EmuFrameRecord&) {});
}

void EmulatedBox::Reply(const EmuFrameRecord& request, const QByteArray& payload, int delayMs,
                        quint16 type)
{
    const QByteArray frame = EmuFrame::Build(request.cmd, type, request.seq, payload);
    if (delayMs <= 0) {
        SendRaw(frame);
        return;
    }
    QTimer::singleShot(delayMs, this, [this, frame] { SendRaw(frame); });
}

QByteArray EmulatedBox::BuildPush(quint16 cmd, const QByteArray& payload, quint16 type,
                                  const EmuFault& fault)
{
    return EmuFrame::Build(cmd, type, m_pushSeq++, payload, fault);
}

void EmulatedBox::Push(quint16 cmd, const QByteArray& payload, quint16 type)
{
    SendRaw(BuildPush(cmd, payload, type));
    Q_EMIT pushed(cmd, payload);
}

int EmulatedBox::SchedulePush(quint16 cmd, PayloadSource payload, int intervalMs, int count)
{
    const int id = m_nextPushId++;
    auto* timer = new QTimer(this);
    timer->setInterval(intervalMs);
    m_pushes.insert(id, PushJob{timer, 0});
    connect(timer, &QTimer::timeout, this, [this, id, cmd, payload, count] {
        auto it = m_pushes.find(id);
        if (it == m_pushes.end())
            return;
        if (HasClient())
            Push(cmd, payload(it->sent));
        ++it->sent;
        if (count >= 0 && it->sent >= count)
            StopPush(id);
    });
    timer->start();
    return id;
}

void EmulatedBox::StopPush(int id)
{
    auto it = m_pushes.find(id);
    if (it == m_pushes.end())
        return;
    it->timer->stop();
    it->timer->deleteLater();
    m_pushes.erase(it);
}

void EmulatedBox::StopAllPushes()
{
    const QList<int> ids = m_pushes.keys();
    for (int id : ids)
        StopPush(id);
}

void EmulatedBox::SetChunking(Chunking mode, int maxChunk, quint32 seed)
{
    m_chunking = mode;
    m_maxChunk = qMax(1, maxChunk);
    m_rng.seed(seed);
}

void EmulatedBox::SendRaw(const QByteArray& bytes)
{
    if (m_deliveryDelayMs == 0 && m_delayed.isEmpty()) {
        enqueueRaw(bytes);
        return;
    }
    if (!m_delayTimer) {
        m_linkClock.start();
        m_delayTimer = new QTimer(this);
        m_delayTimer->setSingleShot(true);
        connect(m_delayTimer, &QTimer::timeout, this, &EmulatedBox::deliverDelayed);
    }
    // A link keeps its order: nothing overtakes what it still carries.
    qint64 due = m_linkClock.elapsed() + m_deliveryDelayMs;
    if (!m_delayed.isEmpty())
        due = qMax(due, m_delayed.last().due);
    m_delayed.enqueue(Delayed{due, bytes});
    deliverDelayed();
}

void EmulatedBox::deliverDelayed()
{
    while (!m_delayed.isEmpty() && m_delayed.head().due <= m_linkClock.elapsed())
        enqueueRaw(m_delayed.dequeue().bytes);
    if (!m_delayed.isEmpty())
        m_delayTimer->start(int(qMax<qint64>(1, m_delayed.head().due - m_linkClock.elapsed())));
}

void EmulatedBox::enqueueRaw(const QByteArray& bytes)
{
    int at = 0;
    while (at < bytes.size()) {
        int n = bytes.size() - at;
        if (m_chunking == Chunking::ByteByByte)
            n = 1;
        else if (m_chunking == Chunking::RandomChunks)
            n = qMin(n, 1 + int(m_rng.bounded(quint32(m_maxChunk))));
        m_out.enqueue(Piece{bytes.mid(at, n), false});
        at += n;
    }
    if (!m_pumpTimer->isActive())
        m_pumpTimer->start(0);
}

void EmulatedBox::HoldDeliveries(bool hold)
{
    m_held = hold;
    if (!hold && !m_out.isEmpty() && !m_pumpTimer->isActive())
        m_pumpTimer->start(0);
}

void EmulatedBox::CloseClientAfterWrites()
{
    m_out.enqueue(Piece{QByteArray(), true});
    if (!m_pumpTimer->isActive())
        m_pumpTimer->start(0);
}

void EmulatedBox::CloseClient()
{
    m_out.clear();
    if (m_client) {
        m_client->flush();
        m_client->disconnectFromHost();
    }
}

void EmulatedBox::ResetClient()
{
    m_out.clear();
    if (!m_client)
        return;
    // Lingering for no time at all makes the close a reset, not a FIN.
    const qintptr fd = m_client->socketDescriptor();
    if (fd != -1) {
        linger noLinger;
        noLinger.l_onoff = 1;
        noLinger.l_linger = 0;
#ifdef Q_OS_WIN
        ::setsockopt(SOCKET(fd), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&noLinger),
                     int(sizeof noLinger));
#else
        ::setsockopt(int(fd), SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
#endif
    }
    m_client->abort();
}

void EmulatedBox::pump()
{
    // Whole writes go out together; cut streams one piece per turn of the
    // event loop, so that they reach the peer as separate reads.
    if (m_held)
        return;
    while (!m_out.isEmpty()) {
        Piece piece = m_out.dequeue();
        if (piece.close) {
            CloseClient();
            return;
        }
        if (m_client && m_client->state() == QAbstractSocket::ConnectedState) {
            m_client->write(piece.bytes);
            m_client->flush();
        }
        if (m_chunking != Chunking::Whole)
            break;
    }
    if (!m_out.isEmpty())
        m_pumpTimer->start(0);
}

bool EmulatedBox::HasClient() const
{
    return m_client && m_client->state() == QAbstractSocket::ConnectedState;
}

QList<EmuFrameRecord> EmulatedBox::ReceivedOf(quint16 cmd) const
{
    QList<EmuFrameRecord> out;
    for (const EmuFrameRecord& f : m_received)
        if (f.cmd == cmd)
            out.append(f);
    return out;
}

void EmulatedBox::onNewConnection()
{
    while (QTcpSocket* s = m_server->nextPendingConnection()) {
        ++m_accepted;
        // The latest connection is the box's peer; an older one is dropped,
        // as a box with a single client would.
        if (m_client) {
            m_client->disconnect(this);
            m_client->abort();
            m_client->deleteLater();
        }
        m_client = s;
        m_reader.Reset();
        m_out.clear();
        s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(s, &QTcpSocket::readyRead, this, &EmulatedBox::onReadyRead);
        connect(s, &QTcpSocket::disconnected, this, [this, s] {
            s->deleteLater();
            if (m_client == s)
                Q_EMIT clientDisconnected();
        });
        Q_EMIT clientConnected();
    }
}

void EmulatedBox::onReadyRead()
{
    auto* s = qobject_cast<QTcpSocket*>(sender());
    if (!s || s != m_client)
        return;
    m_reader.Feed(s->readAll());
    EmuFrameRecord frame;
    while (m_reader.Next(frame)) {
        m_received.append(frame);
        Q_EMIT frameReceived(frame);
        HandleFrame(frame);
    }
}

void EmulatedBox::HandleFrame(const EmuFrameRecord& frame)
{
    auto it = m_handlers.constFind(frame.cmd);
    if (it != m_handlers.constEnd()) {
        it.value()(*this, frame);
        return;
    }
    if (m_default)
        m_default(*this, frame);
}
