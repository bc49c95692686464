// Socket transport against an emulated box on loopback.

#include "ComDevice.h"
#include "ComFrame.h"
#include "EmulatedBox.h"

#include <QTcpServer>
#include <QtTest>

#include <memory>

namespace
{
const QHostAddress kHost(QStringLiteral("127.0.2.2"));

QByteArray* packed(quint32 cmd, const QByteArray& payload = QByteArray())
{
    return ComFrame::Pack(st_ComRequest{cmd, payload}, 0);
}
}

class tst_ComDevice : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void statusFlags();
    void acquireHeldBySameThreadDoesNotHang();
    void receiveBufferOffsets();
    void connectNeedsAddress();
    void sendWritesAndHandsBack();
    void receivePasses();
    void segmentEndingMidHeader();
    void receiverDropsNoiseItself();
    void disconnectThenClosedOnce();
    void closeConnected();
    void refusedConnectionIsSilent();
    void sendWhileNotConnected();

private:
    // Connects a fresh transport to the box; the handler of handleReceived
    // cuts frames with the codec and keeps them.
    void connectDevice();

    std::unique_ptr<EmulatedBox> m_box;
    std::unique_ptr<ComDevice> m_dev;
    QList<QByteArray> m_frames;
    int m_passes = 0;
};

void tst_ComDevice::init()
{
    m_box.reset(new EmulatedBox(QStringLiteral("box")));
    QString error;
    QVERIFY2(m_box->Listen(kHost, 0, &error), qPrintable(error));
    m_dev.reset(new ComDevice);
    m_frames.clear();
    m_passes = 0;
    connect(m_dev.get(), &ComDevice::handleReceived, this, [this](QByteArray* data, uint32_t* n) {
        ++m_passes;
        QByteArray frame;
        quint32 used = 0;
        if (ComFrame::Unpack(data->constData(), quint32(data->size()), frame, used))
            m_frames.append(frame);
        *n = used;
    });
    connect(m_dev.get(), &ComDevice::handleSended, this, [](QByteArray* f) { delete f; });
}

void tst_ComDevice::cleanup()
{
    m_dev.reset();
    m_box.reset();
}

void tst_ComDevice::connectDevice()
{
    QSignalSpy connected(m_dev.get(), &ComDevice::handleConnected);
    m_dev->SetAddress(st_ComAddress{kHost.toString(), m_box->Port()});
    QVERIFY(m_dev->Connect());
    QVERIFY(connected.wait(5000));
    QTRY_VERIFY(m_box->HasClient());
    QCOMPARE(m_dev->Status().Get(), quint8(3));
}

void tst_ComDevice::statusFlags()
{
    ComStatus s;
    QVERIFY(s.Test(0));
    QVERIFY(!s.Acquire(ComStatus::Sending)); // not connected
    s.Set(ComStatus::AddressSet | ComStatus::Connected);
    QVERIFY(!s.Test(0));
    QVERIFY(s.Acquire(ComStatus::Sending));
    QVERIFY(s.Acquire(ComStatus::Receiving));
    QCOMPARE(s.Get(), quint8(15));
    QVERIFY(s.Test(ComStatus::Connected | ComStatus::Sending));
    s.Clear(ComStatus::Connected);
    QCOMPARE(s.Get(), quint8(1));
    s.Set(0);
    QVERIFY(s.Test(0));
}

void tst_ComDevice::acquireHeldBySameThreadDoesNotHang()
{
    // A pass re-entered from a nested event loop on the same thread must not
    // wait for itself.
    ComStatus s;
    s.Set(ComStatus::AddressSet | ComStatus::Connected);
    QVERIFY(s.Acquire(ComStatus::Receiving));
    QVERIFY(!s.Acquire(ComStatus::Receiving));
    s.Clear(ComStatus::Receiving);
    QVERIFY(s.Acquire(ComStatus::Receiving));
}

void tst_ComDevice::receiveBufferOffsets()
{
    ComBuffer_Array b;
    b.Append("0123456789");
    b.Remove(3);
    QCOMPARE(b.Size(), 7);
    QCOMPARE(*b.WaitData(), QByteArray("3456789"));
    b.Append("ab");
    QCOMPARE(*b.WaitData(), QByteArray("3456789ab"));
    b.Compact();
    QCOMPARE(*b.WaitData(), QByteArray("3456789ab"));
    b.Remove(100);
    QCOMPARE(b.Size(), 0);
    b.Append("x");
    QCOMPARE(*b.WaitData(), QByteArray("x"));
    b.Clear();
    QCOMPARE(b.Size(), 0);

    ComBuffer_List q;
    auto* f1 = new QByteArray("1");
    auto* f2 = new QByteArray("2");
    q.Push(f1);
    q.Push(f2);
    QCOMPARE(q.Peek(), f1);
    QVERIFY(q.Take(f2));
    QCOMPARE(q.Pop(), f1);
    QCOMPARE(q.Pop(), nullptr);
    delete f1;
    delete f2;
    q.Push(new QByteArray("deleted by Clear"));
    q.Clear();
    QCOMPARE(q.Count(), 0);
}

void tst_ComDevice::connectNeedsAddress()
{
    QSignalSpy connected(m_dev.get(), &ComDevice::handleConnected);
    QVERIFY(!m_dev->Connect());
    m_dev->SetAddress(st_ComAddress{kHost.toString(), m_box->Port()});
    m_dev->Close();
    QVERIFY(!m_dev->Connect());
    QTest::qWait(100);
    QCOMPARE(connected.count(), 0);
    QCOMPARE(m_box->ConnectionsAccepted(), 0);
}

void tst_ComDevice::sendWritesAndHandsBack()
{
    connectDevice();
    QByteArray* frame = packed(42, "hello");
    QList<QByteArray*> handedBack;
    connect(m_dev.get(), &ComDevice::handleSended, this,
            [&handedBack](QByteArray* f) { handedBack.append(f); });
    const QByteArray copy = *frame;
    QVERIFY(m_dev->Send(frame));
    QCOMPARE(handedBack.size(), 1);
    QCOMPARE(handedBack[0], frame); // that very frame (deleted by the first handler)
    QCOMPARE(m_dev->QueuedCount(), 0);
    QCOMPARE(m_dev->Status().Get(), quint8(3));
    QTRY_COMPARE(m_box->Received().size(), 1);
    QCOMPARE(m_box->Received()[0].cmd, quint16(42));
    QCOMPARE(m_box->Received()[0].payload, QByteArray("hello"));
    QCOMPARE(m_box->Received()[0].seq, ComFrame::GetSeq(copy));
}

void tst_ComDevice::receivePasses()
{
    connectDevice();
    const QByteArray a = m_box->BuildPush(1, "one");
    const QByteArray b = m_box->BuildPush(2, "two");
    m_box->SendRaw(a + b);
    QTRY_COMPARE(m_frames.size(), 2);
    QCOMPARE(m_frames[0], a);
    QCOMPARE(m_frames[1], b);

    // One frame in three segments: handed on with the third.
    const QByteArray c = m_box->BuildPush(3, QByteArray(100, 'c'));
    m_box->SendRaw(c.left(10));
    QTRY_COMPARE(m_dev->BufferedCount(), 10);
    m_box->SendRaw(c.mid(10, 50));
    QTRY_COMPARE(m_dev->BufferedCount(), 60);
    QCOMPARE(m_frames.size(), 2);
    m_box->SendRaw(c.mid(60));
    QTRY_COMPARE(m_frames.size(), 3);
    QCOMPARE(m_frames[2], c);
    QCOMPARE(m_dev->BufferedCount(), 0);
}

void tst_ComDevice::segmentEndingMidHeader()
{
    connectDevice();
    const QByteArray a = m_box->BuildPush(1, "x");
    m_box->SendRaw(a.left(15));
    QTRY_COMPARE(m_dev->BufferedCount(), 15);
    const int passes = m_passes;
    QVERIFY(passes >= 1);
    QCOMPARE(m_frames.size(), 0);
    m_box->SendRaw(a.mid(15));
    QTRY_COMPARE(m_frames.size(), 1);
}

void tst_ComDevice::receiverDropsNoiseItself()
{
    // A receiver that cuts with the buffer-editing reader removes the noise
    // before a frame from the live buffer itself; those bytes must be gone
    // from the transport's buffer too, not left in front of the next frame.
    disconnect(m_dev.get(), &ComDevice::handleReceived, this, nullptr);
    connect(m_dev.get(), &ComDevice::handleReceived, this, [this](QByteArray* data, uint32_t* n) {
        QByteArray frame;
        quint32 used = 0;
        if (ComFrame::Unpack(*data, frame, used))
            m_frames.append(frame);
        *n = used;
    });
    connectDevice();
    const QByteArray a = m_box->BuildPush(1, "first");
    const QByteArray c = m_box->BuildPush(2, QByteArray(40, 'c'));
    m_box->SendRaw("noise" + a + "xy" + c.left(20));
    QTRY_COMPARE(m_frames.size(), 1);
    QCOMPARE(m_frames[0], a);
    QTRY_COMPARE(m_dev->BufferedCount(), 20);
    m_box->SendRaw(c.mid(20));
    QTRY_COMPARE(m_frames.size(), 2);
    QCOMPARE(m_frames[1], c);
    QCOMPARE(m_dev->BufferedCount(), 0);
}

void tst_ComDevice::disconnectThenClosedOnce()
{
    connectDevice();
    QSignalSpy closed(m_dev.get(), &ComDevice::handleClosed);
    m_dev->Disconnect();
    QVERIFY(!m_dev->Status().Test(ComStatus::Connected));
    QVERIFY(m_dev->Status().Test(ComStatus::AddressSet));
    QTRY_COMPARE(closed.count(), 1);
    QTest::qWait(50);
    QCOMPARE(closed.count(), 1);
}

void tst_ComDevice::closeConnected()
{
    connectDevice();
    QSignalSpy closed(m_dev.get(), &ComDevice::handleClosed);
    m_box->SendRaw(m_box->BuildPush(1, QByteArray(50, 'p')).left(30));
    QTRY_COMPARE(m_dev->BufferedCount(), 30);
    m_dev->Close();
    QTRY_COMPARE(closed.count(), 1);
    QCOMPARE(m_dev->Host(), QStringLiteral("0"));
    QCOMPARE(m_dev->Port(), quint16(0));
    QVERIFY(m_dev->Status().Test(0));
    QCOMPARE(m_dev->BufferedCount(), 0);
    QCOMPARE(m_dev->QueuedCount(), 0);
    QTRY_VERIFY(!m_box->HasClient());
}

void tst_ComDevice::refusedConnectionIsSilent()
{
    quint16 deadPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(kHost, 0));
        deadPort = probe.serverPort();
    }
    QSignalSpy connected(m_dev.get(), &ComDevice::handleConnected);
    QSignalSpy closed(m_dev.get(), &ComDevice::handleClosed);
    m_dev->SetAddress(st_ComAddress{kHost.toString(), deadPort});
    QVERIFY(m_dev->Connect());
    QTest::qWait(300);
    QCOMPARE(connected.count(), 0);
    QCOMPARE(closed.count(), 0);
    QCOMPARE(m_dev->Status().Get(), quint8(1));
}

void tst_ComDevice::sendWhileNotConnected()
{
    std::unique_ptr<QByteArray> frame(packed(1));
    QVERIFY(!m_dev->Send(frame.get()));
    QCOMPARE(m_dev->QueuedCount(), 0);
}

QTEST_GUILESS_MAIN(tst_ComDevice)
#include "tst_comdevice.moc"
