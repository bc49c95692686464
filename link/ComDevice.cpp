#include "ComDevice.h"

#include <QMutexLocker>
#include <QNetworkProxy>
#include <QThread>

#ifdef Q_OS_LINUX
#include <linux/sockios.h>
#include <sys/ioctl.h>
#endif

// ---- ComStatus -------------------------------------------------------------

ComStatus::ComStatus(QObject* parent) : QObject(parent) {}

bool ComStatus::Test(quint8 mask)
{
    QMutexLocker lock(&m_lock);
    if (mask == 0)
        return m_flags == 0;
    return (m_flags & mask) == mask;
}

void ComStatus::Set(quint8 mask)
{
    QMutexLocker lock(&m_lock);
    if (mask == 0) {
        m_flags = 0;
        m_sendHolder = nullptr;
        m_recvHolder = nullptr;
        return;
    }
    m_flags |= mask;
}

void ComStatus::clearLocked(quint8 mask)
{
    if (mask & Connected) {
        m_flags &= quint8(~(Connected | Sending | Receiving));
        m_sendHolder = nullptr;
        m_recvHolder = nullptr;
    }
    m_flags &= quint8(~mask);
    if (mask & Sending) {
        m_sendHolder = nullptr;
        m_sendCond.wakeAll();
    }
    if (mask & Receiving) {
        m_recvHolder = nullptr;
        m_recvCond.wakeAll();
    }
}

void ComStatus::Clear(quint8 mask)
{
    QMutexLocker lock(&m_lock);
    clearLocked(mask);
}

bool ComStatus::Acquire(quint8 mask)
{
    QMutexLocker lock(&m_lock);
    if (!(m_flags & Connected))
        return false;
    QThread* self = QThread::currentThread();
    if ((mask & Sending) && (m_flags & Sending)) {
        if (m_sendHolder == self)
            return false;
        m_sendCond.wait(&m_lock);
    }
    if ((mask & Receiving) && (m_flags & Receiving)) {
        if (m_recvHolder == self)
            return false;
        m_recvCond.wait(&m_lock);
    }
    m_flags |= mask;
    if (mask & Sending)
        m_sendHolder = self;
    if (mask & Receiving)
        m_recvHolder = self;
    return true;
}

quint8 ComStatus::Get()
{
    QMutexLocker lock(&m_lock);
    return m_flags;
}

// ---- ComBuffer_List --------------------------------------------------------

ComBuffer_List::ComBuffer_List(QObject* parent) : QObject(parent) {}

ComBuffer_List::~ComBuffer_List()
{
    Clear();
}

void ComBuffer_List::Push(QByteArray* frame)
{
    QMutexLocker lock(&m_lock);
    m_list.append(frame);
    m_cond.wakeAll();
}

QByteArray* ComBuffer_List::Peek()
{
    QMutexLocker lock(&m_lock);
    if (m_list.isEmpty())
        m_cond.wait(&m_lock);
    return m_list.isEmpty() ? nullptr : m_list.first();
}

QByteArray* ComBuffer_List::Pop()
{
    QMutexLocker lock(&m_lock);
    return m_list.isEmpty() ? nullptr : m_list.takeFirst();
}

bool ComBuffer_List::Take(QByteArray* frame)
{
    QMutexLocker lock(&m_lock);
    return m_list.removeOne(frame);
}

bool ComBuffer_List::Contains(QByteArray* frame)
{
    QMutexLocker lock(&m_lock);
    return m_list.contains(frame);
}

void ComBuffer_List::Clear()
{
    QList<QByteArray*> frames;
    {
        QMutexLocker lock(&m_lock);
        if (!m_list.isEmpty())
            m_cond.wakeAll();
        frames.swap(m_list);
    }
    qDeleteAll(frames);
}

int ComBuffer_List::Count()
{
    QMutexLocker lock(&m_lock);
    return m_list.size();
}

// ---- ComBuffer_Array -------------------------------------------------------

ComBuffer_Array::ComBuffer_Array(QObject* parent) : QObject(parent) {}

void ComBuffer_Array::Append(const QByteArray& bytes)
{
    QMutexLocker lock(&m_lock);
    m_data.append(bytes);
    m_cond.wakeAll();
}

QByteArray* ComBuffer_Array::WaitData()
{
    QMutexLocker lock(&m_lock);
    if (m_data.size() == m_head)
        m_cond.wait(&m_lock);
    m_view = QByteArray::fromRawData(m_data.constData() + m_head, m_data.size() - m_head);
    return &m_view;
}

void ComBuffer_Array::Remove(quint32 n)
{
    QMutexLocker lock(&m_lock);
    const quint32 left = quint32(m_data.size() - m_head);
    m_head += int(n < left ? n : left);
    if (m_head == m_data.size()) {
        m_view.clear();
        m_data.resize(0);
        m_head = 0;
    }
}

void ComBuffer_Array::Compact()
{
    QMutexLocker lock(&m_lock);
    if (m_head > 0) {
        m_view.clear();
        m_data.remove(0, m_head);
        m_head = 0;
    }
}

void ComBuffer_Array::Clear()
{
    QMutexLocker lock(&m_lock);
    if (m_data.size() > m_head)
        m_cond.wakeAll();
    m_view.clear();
    m_data.clear();
    m_head = 0;
}

int ComBuffer_Array::Size()
{
    QMutexLocker lock(&m_lock);
    return m_data.size() - m_head;
}

// ---- ComDevice -------------------------------------------------------------

ComDevice::ComDevice(QObject* parent) : QObject(parent)
{
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, &ComDevice::onTcpConnected);
    connect(m_socket, &QTcpSocket::disconnected, this, &ComDevice::onTcpDisconed);
    connect(m_socket, &QTcpSocket::readyRead, this, &ComDevice::onTcpRecved);
    // Errors are not reported as such: a lost connection ends in
    // disconnected(), a refused one in nothing at all.
    connect(m_socket, &QAbstractSocket::errorOccurred, this, [](QAbstractSocket::SocketError) {});
}

ComDevice::~ComDevice()
{
    Close();
}

void ComDevice::SetAddress(const st_ComAddress& address)
{
    m_host = address.host;
    m_port = address.port;
    m_status.Set(ComStatus::AddressSet);
}

void ComDevice::Close()
{
    // Closed by its owner: a close the peer made meanwhile is not announced.
    m_closePending = false;
    m_status.Set(0);
    m_socket->close();
    m_sendList.Clear();
    m_recvBuffer.Clear();
    m_host = QStringLiteral("0");
    m_port = 0;
}

bool ComDevice::Connect()
{
    if (!m_status.Test(ComStatus::AddressSet))
        return false;
    m_socket->abort();
    m_closePending = false;
    // Frames left unwritten by an earlier connection are stale on a new one.
    m_sendList.Clear();
    m_socket->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    m_socket->connectToHost(m_host, m_port, QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
    return true;
}

void ComDevice::Disconnect()
{
    m_socket->disconnectFromHost();
    m_status.Clear(ComStatus::Connected);
}

bool ComDevice::Send(QByteArray* frame)
{
    if (!m_status.Test(ComStatus::Connected))
        return false;
    m_sendList.Push(frame);
    return SendNext();
}

bool ComDevice::Withdraw(QByteArray* frame)
{
    return m_sendList.Take(frame);
}

bool ComDevice::FlushedNow()
{
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return m_socket->bytesToWrite() == 0;
    m_socket->flush();
    if (m_socket->bytesToWrite() > 0)
        return false;
#ifdef Q_OS_LINUX
    // Written is not yet received: a link closed with unread input is reset,
    // and a reset throws away what the box has not acknowledged. Wait until
    // it has (on loopback at once; over Wi-Fi a few round trips).
    const int fd = int(m_socket->socketDescriptor());
    int unacknowledged = 0;
    if (fd >= 0 && ::ioctl(fd, SIOCOUTQ, &unacknowledged) == 0 && unacknowledged > 0)
        return false;
#endif
    return true;
}

bool ComDevice::Flush(const QList<ComDevice*>& devices, QDeadlineTimer deadline)
{
    // Each pass writes what every link's system takes and looks at every
    // link again, so a stalled link holds no other's commands back.
    QList<ComDevice*> left = devices;
    for (;;) {
        for (auto it = left.begin(); it != left.end();)
            it = (*it)->FlushedNow() ? left.erase(it) : it + 1;
        if (left.isEmpty())
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::usleep(250);
    }
}

bool ComDevice::SendNext()
{
    if (!m_status.Acquire(ComStatus::Sending))
        return false;
    QByteArray* head = m_sendList.Peek();
    if (!head || head->isEmpty()) {
        m_status.Clear(ComStatus::Sending);
        return false;
    }
    if (!WriteFrame(head)) {
        m_status.Clear(ComStatus::Sending);
        return false;
    }
    QByteArray* frame = m_sendList.Pop();
    if (!frame) {
        m_status.Clear(ComStatus::Sending);
        return false;
    }
    Q_EMIT handleSended(frame);
    m_status.Clear(ComStatus::Sending);
    return true;
}

bool ComDevice::WriteFrame(QByteArray* frame)
{
    if (!m_socket->isOpen() || m_socket->state() != QAbstractSocket::ConnectedState)
        return false;
    return m_socket->write(*frame) == qint64(frame->size());
}

void ComDevice::onTcpConnected()
{
    if (m_status.Test(ComStatus::AddressSet)) {
        m_status.Set(ComStatus::Connected);
        Q_EMIT handleConnected();
    }
}

void ComDevice::onTcpDisconed()
{
    // A box's last frames may still sit in the socket, unannounced while a
    // receive pass ran a nested event loop; abort would drop them. A running
    // pass takes them from the buffer once it returns.
    if (m_socket->bytesAvailable() > 0) {
        m_recvBuffer.Append(m_socket->readAll());
        ProcessRecv();
    }
    // Everything the box sent before it closed is delivered before the close
    // is announced: a pass still running in a nested event loop announces it
    // once it has handed on the rest of the buffer.
    if (m_status.Test(ComStatus::Receiving)) {
        m_closePending = true;
        return;
    }
    announceClose();
}

void ComDevice::announceClose()
{
    m_closePending = false;
    m_socket->abort();
    m_status.Clear(ComStatus::Connected);
    Q_EMIT handleClosed();
}

void ComDevice::onTcpRecved()
{
    m_recvBuffer.Append(m_socket->readAll());
    ProcessRecv();
    // The socket does not signal readyRead again while this handler runs, and
    // a pass may run an event loop (a warning box shown by the receiver of a
    // frame): bytes that came in meanwhile would wait for data that may never
    // come. They are taken now, unless this is itself such a nested call.
    while (!m_status.Test(ComStatus::Receiving) && m_socket->bytesAvailable() > 0) {
        m_recvBuffer.Append(m_socket->readAll());
        ProcessRecv();
    }
}

void ComDevice::ProcessRecv()
{
    if (!m_status.Acquire(ComStatus::Receiving))
        return;
    if (m_recvBuffer.Size() == 0) {
        m_status.Clear(ComStatus::Receiving);
        return;
    }
    m_recvBuffer.Drain([this](QByteArray* data) {
        uint32_t count = 0;
        Q_EMIT handleReceived(data, &count);
        return count;
    });
    m_status.Clear(ComStatus::Receiving);
    if (m_closePending)
        announceClose();
}
