#include "Communication.h"

#include <QElapsedTimer>

#include <algorithm>

Communication::Communication(QObject* parent) : QObject(parent)
{
    m_device = new ComDevice(this);
    connect(m_device, &ComDevice::handleConnected, this, &Communication::onDeviceConnected);
    connect(m_device, &ComDevice::handleClosed, this, &Communication::onDeviceClosed);
    connect(m_device, &ComDevice::handleSended, this, &Communication::onHandleSended);
    connect(m_device, &ComDevice::handleReceived, this, &Communication::onHandleReceived);
    connect(&m_timer, &QTimer::timeout, this, &Communication::OnRequestTimout);
    m_timer.setInterval(1000);
}

Communication::~Communication()
{
    m_timer.stop();
    // The protocol part of this object is gone already: nothing may reach
    // OnFrame from the transport's close any more.
    disconnect(m_device, nullptr, this, nullptr);
    // Tracked frames are taken back from the transport's queue and released
    // here; untracked ones left in the queue go with its close.
    QList<QByteArray*> frames = m_queuedCmds.keys();
    for (QByteArray* f : m_sentCmds.keys())
        if (!frames.contains(f))
            frames.append(f);
    for (QByteArray* f : frames)
        m_device->Withdraw(f);
    m_device->Close();
    m_queuedCmds.clear();
    m_queuedTimes.clear();
    m_sentCmds.clear();
    m_retryCounts.clear();
    m_sentTimes.clear();
    qDeleteAll(frames);
}

void Communication::SetAddress(const st_ComAddress& address)
{
    m_timer.stop();
    // Requests of the old connection must not be sent again on the next.
    GiveUpPending();
    m_device->Close();
    m_device->SetAddress(address);
    m_connected = false;
    m_timer.start();
}

void Communication::SetClock(Clock clock)
{
    m_clock = std::move(clock);
}

qint64 Communication::SteadyNow()
{
    static const QElapsedTimer since = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return since.elapsed();
}

qint64 Communication::now() const
{
    return m_clock ? m_clock() : SteadyNow();
}

void Communication::AbandonRequests()
{
    GiveUpPending();
}

bool Communication::Flush(const QList<Communication*>& links, QDeadlineTimer deadline)
{
    QList<ComDevice*> devices;
    for (Communication* link : links)
        devices << link->m_device;
    return ComDevice::Flush(devices, deadline);
}

void Communication::Open()
{
    if (!m_connected)
        m_device->Connect();
}

void Communication::Close()
{
    GiveUpPending();
    if (m_connected)
        m_device->Disconnect();
}

void Communication::Request(unsigned int cmd, const QByteArray* data)
{
    if (!m_connected)
        return;
    st_ComRequest request;
    request.cmd = cmd;
    if (data)
        request.data = *data;
    SendRequest(request);
}

bool Communication::SendRequest(const st_ComRequest& request)
{
    QByteArray* frame = ComFrame::Pack(request, ComFrame::TypeRequest);
    const qint64 stamp = now();
    m_queuedCmds.insert(frame, request.cmd);
    m_queuedTimes.insert(stamp, frame);
    m_retryCounts.insert(frame, 0);
    const bool ok = m_device->Send(frame);
    if (!ok) {
        m_queuedCmds.remove(frame);
        m_queuedTimes.remove(stamp, frame);
        m_retryCounts.remove(frame);
        // Refused outright (not connected), nobody holds the frame any more.
        // Kept by the transport after a failed write, it comes back through
        // handleSended once written and is released there.
        if (!m_device->IsQueued(frame))
            delete frame;
    }
    return ok;
}

bool Communication::takeTimeEntry(QMultiMap<qint64, QByteArray*>& map, QByteArray* frame,
                                  qint64* stamp)
{
    // Ascending order: the earliest stamp of the frame is taken.
    for (auto it = map.begin(); it != map.end(); ++it) {
        if (it.value() == frame) {
            if (stamp)
                *stamp = it.key();
            map.erase(it);
            return true;
        }
    }
    return false;
}

void Communication::onHandleSended(QByteArray* frame)
{
    auto it = m_queuedCmds.find(frame);
    if (it == m_queuedCmds.end()) {
        delete frame;
        return;
    }
    const quint32 cmd = it.value();
    m_queuedCmds.erase(it);
    qint64 stamp = 0;
    if (!takeTimeEntry(m_queuedTimes, frame, &stamp))
        stamp = now();
    m_sentCmds.insert(frame, cmd);
    m_sentTimes.insert(stamp, frame);
}

void Communication::onHandleReceived(QByteArray* buffer, uint32_t* consumed)
{
    QByteArray frame;
    quint32 used = 0;
    // The buffer is read in place; what to drop goes back through the count.
    const bool ok = ComFrame::Unpack(buffer->constData(), quint32(buffer->size()), frame, used);
    *consumed = used;
    if (!ok)
        return;

    const quint16 type = ComFrame::GetType(frame);
    const quint16 cmd = ComFrame::GetCmd(frame);
    // The frame is this call's own copy, header and payload exactly: the
    // header is dropped in place instead of copying the payload out again.
    frame.remove(0, int(ComFrame::HeaderSize));
    QByteArray* payload = &frame;
    if (type == ComFrame::TypeReply) {
        QByteArray* request = nullptr;
        for (auto it = m_sentCmds.begin(); it != m_sentCmds.end(); ++it) {
            if (quint16(it.value()) == cmd) {
                request = it.key();
                break;
            }
        }
        if (request) {
            takeTimeEntry(m_sentTimes, request, nullptr);
            m_retryCounts.remove(request);
            m_sentCmds.remove(request);
            delete request;
            OnFrame(cmd, true, payload);
        }
    } else if (type == ComFrame::TypeRequest) {
        OnFrame(cmd, true, payload);
    }
}

void Communication::OnRequestTimout()
{
    const qint64 sweepTime = now();
    QList<quint32> expiredCmds;
    auto expired = [&](qint64 t) {
        const qint64 age = sweepTime - t;
        return age >= 0 && age > qint64(m_timeout);
    };

    // Requests that never reached the socket are given up, not sent again.
    const QList<qint64> queuedStamps = m_queuedTimes.uniqueKeys();
    for (const qint64 t : queuedStamps) {
        if (!expired(t))
            break;
        const QList<QByteArray*> frames = m_queuedTimes.values(t);
        m_queuedTimes.remove(t);
        for (QByteArray* frame : frames) {
            auto it = m_queuedCmds.find(frame);
            if (it == m_queuedCmds.end())
                continue;
            const quint32 cmd = it.value();
            m_queuedCmds.erase(it);
            m_retryCounts.remove(frame);
            GiveUp(cmd, frame);
            expiredCmds.append(cmd);
        }
    }

    const QList<qint64> sentStamps = m_sentTimes.uniqueKeys();
    for (const qint64 t : sentStamps) {
        if (!expired(t))
            break;
        QList<QByteArray*> frames = m_sentTimes.values(t);
        m_sentTimes.remove(t);
        // values() lists the latest insertion first; handle them in the
        // order they were stamped.
        std::reverse(frames.begin(), frames.end());
        for (QByteArray* frame : frames) {
            auto it = m_sentCmds.find(frame);
            if (it == m_sentCmds.end())
                continue;
            const quint32 cmd = it.value();
            m_sentCmds.erase(it);
            auto rc = m_retryCounts.find(frame);
            if (rc == m_retryCounts.end()) {
                delete frame;
                continue;
            }
            const int n = rc.value();
            if (unsigned(n) < unsigned(m_retryCount)) {
                const qint64 stamp = now();
                m_queuedCmds.insert(frame, cmd);
                m_queuedTimes.insert(stamp, frame);
                m_retryCounts.insert(frame, n + 1);
                if (!m_device->Send(frame)) {
                    m_queuedCmds.remove(frame);
                    m_queuedTimes.remove(stamp, frame);
                    m_retryCounts.remove(frame);
                    GiveUp(cmd, frame);
                    expiredCmds.append(cmd);
                }
            } else {
                m_retryCounts.erase(rc);
                GiveUp(cmd, frame);
                expiredCmds.append(cmd);
            }
        }
    }
    for (quint32 cmd : expiredCmds)
        Q_EMIT RequestExpired(cmd);
}

void Communication::GiveUp(quint32 cmd, QByteArray* frame)
{
    // Given up means it never goes out: a frame still queued in the
    // transport is taken back first.
    m_device->Withdraw(frame);
    OnFrame(cmd, false, frame);
    delete frame;
}

void Communication::GiveUpPending()
{
    // Sent requests first, then queued ones; one at a time, since OnFrame
    // may itself touch the maps.
    const auto giveUpAll = [this](QMap<QByteArray*, quint32>& cmds,
                                  QMultiMap<qint64, QByteArray*>& times) {
        while (!cmds.isEmpty()) {
            auto it = cmds.begin();
            QByteArray* frame = it.key();
            const quint32 cmd = it.value();
            cmds.erase(it);
            takeTimeEntry(times, frame, nullptr);
            m_retryCounts.remove(frame);
            GiveUp(cmd, frame);
        }
    };
    giveUpAll(m_sentCmds, m_sentTimes);
    giveUpAll(m_queuedCmds, m_queuedTimes);
}

void Communication::onDeviceConnected()
{
    m_connected = true;
    Q_EMIT ComConnected();
}

void Communication::onDeviceClosed()
{
    m_connected = false;
    GiveUpPending();
    Q_EMIT ComClosed();
}
