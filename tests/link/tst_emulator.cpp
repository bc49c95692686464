// The loopback emulator itself: where it may listen, what it records, and
// its scripted answers and pushes.

#include "ComFrame.h"
#include "InstrumentEmulator.h"

#include <QTcpSocket>
#include <QtTest>

namespace
{
const QHostAddress kTx(QStringLiteral("127.0.2.5"));
const QHostAddress kRx(QStringLiteral("127.0.2.6"));
}

class tst_Emulator : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void refusesNonLoopback_data();
    void refusesNonLoopback();
    void recordsAndAnswers();
    void scheduledPushes();
    void heldLinkDeliversLateInOrder();
};

void tst_Emulator::refusesNonLoopback_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("any") << QStringLiteral("0.0.0.0");
    QTest::newRow("link-local") << QStringLiteral("169.254.7.7");
    QTest::newRow("public") << QStringLiteral("1.2.3.4");
    QTest::newRow("IPv6 loopback") << QStringLiteral("::1");
}

void tst_Emulator::refusesNonLoopback()
{
    QFETCH(QString, address);
    InstrumentEmulator emu;
    QString error;
    QVERIFY(!emu.Start(QHostAddress(address), 0, kRx, 0, &error));
    QVERIFY2(error.contains(QStringLiteral("127.0.0.0/8")), qPrintable(error));
    QVERIFY(!emu.Start(kTx, 0, QHostAddress(address), 0, &error));
    QVERIFY(error.contains(address));
}

void tst_Emulator::recordsAndAnswers()
{
    InstrumentEmulator emu;
    QString error;
    QVERIFY2(emu.Start(kTx, 0, kRx, 0, &error), qPrintable(error));
    emu.Receiver().ReplyWith(1001, QByteArray::fromHex("01000000"), 100);
    emu.Receiver().ReplyWith(2, QByteArray("x"), 0, 7);

    QTcpSocket client;
    client.connectToHost(kRx, emu.Receiver().Port());
    QTRY_COMPARE(client.state(), QAbstractSocket::ConnectedState);
    QScopedPointer<QByteArray> a(ComFrame::Pack(st_ComRequest{1001, QByteArray(8, 'a')}, 0));
    QScopedPointer<QByteArray> b(ComFrame::Pack(st_ComRequest{2, QByteArray()}, 0));
    client.write(*a + "junk" + *b);

    QTRY_COMPARE(emu.Receiver().Received().size(), 2);
    const EmuFrameRecord r0 = emu.Receiver().Received()[0];
    QCOMPARE(r0.cmd, quint16(1001));
    QCOMPARE(r0.type, quint16(0));
    QCOMPARE(r0.seq, ComFrame::GetSeq(*a));
    QCOMPARE(r0.payload, QByteArray(8, 'a'));
    QCOMPARE(emu.Receiver().SkippedBytes(), qint64(4));
    QVERIFY(emu.Transmitter().Received().isEmpty());

    // The wrong-type answer comes at once, the late one after its delay.
    QByteArray got;
    QTRY_VERIFY((got += client.readAll()).size() >= 29);
    QByteArray frame;
    quint32 used = 0;
    QVERIFY(ComFrame::Unpack(got, frame, used));
    QCOMPARE(ComFrame::GetCmd(frame), quint16(2));
    QCOMPARE(ComFrame::GetType(frame), quint16(7));
    got.remove(0, int(used));
    QTRY_VERIFY((got += client.readAll()).size() >= 32);
    QVERIFY(ComFrame::Unpack(got, frame, used));
    QCOMPARE(ComFrame::GetCmd(frame), quint16(1001));
    QCOMPARE(ComFrame::GetType(frame), quint16(1));
    QCOMPARE(ComFrame::GetSeq(frame), r0.seq);
}

void tst_Emulator::scheduledPushes()
{
    InstrumentEmulator emu;
    QString error;
    QVERIFY2(emu.Start(kTx, 0, kRx, 0, &error), qPrintable(error));
    QTcpSocket client;
    client.connectToHost(kTx, emu.Transmitter().Port());
    QTRY_VERIFY(emu.Transmitter().HasClient());
    emu.Transmitter().SchedulePush(240, [](int i) { return QByteArray(16, char(i)); }, 20, 3);
    QByteArray got;
    QTRY_VERIFY((got += client.readAll()).size() >= 3 * 44);
    QTest::qWait(100);
    got += client.readAll();
    QCOMPARE(got.size(), 3 * 44);
    for (int i = 0; i < 3; ++i) {
        QByteArray frame;
        quint32 used = 0;
        QVERIFY(ComFrame::Unpack(got, frame, used));
        QCOMPARE(ComFrame::GetCmd(frame), quint16(240));
        QScopedPointer<QByteArray> data(ComFrame::GetData(frame));
        QCOMPARE(*data, QByteArray(16, char(i)));
        got.remove(0, int(used));
    }
}

void tst_Emulator::heldLinkDeliversLateInOrder()
{
    InstrumentEmulator emu;
    QString error;
    QVERIFY2(emu.Start(kTx, 0, kRx, 0, &error), qPrintable(error));
    emu.Receiver().ReplyWith(2, QByteArray("stop"));
    QList<QByteArray> pushed;
    connect(&emu.Receiver(), &EmulatedBox::pushed, this,
            [&pushed](quint16 cmd, const QByteArray& payload) { pushed << QByteArray::number(cmd) + payload; });
    QTcpSocket client;
    client.connectToHost(kRx, emu.Receiver().Port());
    QTRY_VERIFY(emu.Receiver().HasClient());

    emu.Receiver().HoldDeliveries(true);
    QVERIFY(emu.Receiver().DeliveriesHeld());
    emu.Receiver().Push(3, QByteArray("one"));
    QScopedPointer<QByteArray> stop(ComFrame::Pack(st_ComRequest{2, QByteArray()}, 0));
    client.write(*stop);
    QTRY_COMPARE(emu.Receiver().Received().size(), 1);
    emu.Receiver().Push(3, QByteArray("two"));
    // Pushed, as far as the box knows, but nothing has reached the client.
    QCOMPARE(pushed, (QList<QByteArray>{"3one", "3two"}));
    QTest::qWait(50);
    QCOMPARE(client.bytesAvailable(), qint64(0));

    emu.Receiver().HoldDeliveries(false);
    QByteArray got;
    QTRY_VERIFY((got += client.readAll()).size() >= 3 * 28 + 3 + 4 + 3);
    QList<QByteArray> frames;
    QByteArray frame;
    quint32 used = 0;
    while (ComFrame::Unpack(got, frame, used)) {
        QScopedPointer<QByteArray> data(ComFrame::GetData(frame));
        frames << QByteArray::number(ComFrame::GetCmd(frame)) + *data;
        got.remove(0, int(used));
    }
    QCOMPARE(frames, (QList<QByteArray>{"3one", "2stop", "3two"}));
}

QTEST_GUILESS_MAIN(tst_Emulator)
#include "tst_emulator.moc"
