// Request engine against an emulated box on loopback: matching, pushes,
// time-out, re-sends and giving up.

#include "EmulatedBox.h"
#include "LinkProbe.h"

#include <QtTest>

#include <memory>

namespace
{
const QHostAddress kHost(QStringLiteral("127.0.2.3"));
const quint16 kSentinel = 99;

QByteArray result(quint32 code)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char(code >> (8 * i));
    return b;
}
}

class tst_Communication : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void replyMatched();
    void unsolicitedFrames();
    void replyOfWrongTypeSettlesNothing();
    void requestWhileNotConnected();
    void twoPendingOfOneCommand();
    void defaultsArePinned();
    void resendThenGiveUp();
    void notExpiredNotResent();
    void sweepTimerRunsByItself();
    void sameMillisecondBothTracked();
    void withoutAClockRequestsAgeOnTheSteadyOne();
    void pendingGivenUpOnLinkChange_data();
    void pendingGivenUpOnLinkChange();
    void requestFromInsideOnFrame();
    void framesThatCameDuringANestedLoopAreRead_data();
    void framesThatCameDuringANestedLoopAreRead();
    void closeWhileConnecting();

private:
    std::unique_ptr<EmulatedBox> m_box;
    std::unique_ptr<LinkProbe> m_link;
};

void tst_Communication::init()
{
    m_box.reset(new EmulatedBox(QStringLiteral("box")));
    QString error;
    QVERIFY2(m_box->Listen(kHost, 0, &error), qPrintable(error));
    m_link.reset(new LinkProbe);
}

void tst_Communication::cleanup()
{
    // Destroyed with whatever is still pending: must release, not report.
    m_link.reset();
    m_box.reset();
}

// Waits until the box has read `n` frames in all.
#define WAIT_RECEIVED(n) QTRY_COMPARE_WITH_TIMEOUT(m_box->Received().size(), (n), 5000)
// Frames reach the box in the order they are written: once a sentinel
// request has arrived, anything written before it has arrived too.
#define WAIT_SENTINEL()                                                                            \
    do {                                                                                           \
        m_link->Request(kSentinel);                                                                \
        QTRY_VERIFY_WITH_TIMEOUT(!m_box->ReceivedOf(kSentinel).isEmpty(), 5000);                   \
        m_link->AbandonRequests();                                                                 \
    } while (0)
#define OPEN()                                                                                     \
    do {                                                                                           \
        m_link->OpenTo(*m_box);                                                                    \
        if (QTest::currentTestFailed())                                                            \
            return;                                                                                \
    } while (0)

void tst_Communication::replyMatched()
{
    OPEN();
    m_box->ReplyWith(1, result(1), 50);
    const QByteArray payload(88, '\x05');
    m_link->Request(1, &payload);
    QTRY_COMPARE(m_link->calls.size(), 1);
    QCOMPARE(m_link->calls[0].cmd, 1u);
    QVERIFY(m_link->calls[0].ok);
    QCOMPARE(m_link->calls[0].payload, result(1));
    QVERIFY(m_link->MapsEmpty());
    QCOMPARE(m_box->Received().size(), 1);
    QCOMPARE(m_box->Received()[0].payload, payload);
    QCOMPARE(m_box->Received()[0].type, quint16(0));
}

void tst_Communication::unsolicitedFrames()
{
    OPEN();
    m_box->Push(3, "samples");                   // push: delivered
    m_box->Push(9, result(1), 1);                // reply nobody asked for: dropped
    m_box->Push(4, "odd", 2);                    // unknown type: dropped
    m_box->Push(5, QByteArray(), 0);             // empty push: delivered
    QTRY_COMPARE(m_link->calls.size(), 2);
    QCOMPARE(m_link->calls[0].cmd, 3u);
    QCOMPARE(m_link->calls[0].payload, QByteArray("samples"));
    QCOMPARE(m_link->calls[1].cmd, 5u);
    QVERIFY(m_link->calls[1].payload.isEmpty());
    QVERIFY(m_link->MapsEmpty());
}

void tst_Communication::replyOfWrongTypeSettlesNothing()
{
    OPEN();
    m_box->ReplyWith(2, result(1), 0, 2);
    m_link->Request(2);
    WAIT_RECEIVED(1);
    m_box->Push(77, "sentinel");
    QTRY_COMPARE(m_link->calls.size(), 1);
    QCOMPARE(m_link->calls[0].cmd, 77u);
    QCOMPARE(m_link->Pending(), 1);
}

void tst_Communication::requestWhileNotConnected()
{
    m_link->SetAddress(st_ComAddress{kHost.toString(), m_box->Port()});
    m_link->Request(1);
    QVERIFY(m_link->MapsEmpty());
    QVERIFY(m_link->calls.isEmpty());
    QCOMPARE(m_box->ConnectionsAccepted(), 0);
}

void tst_Communication::twoPendingOfOneCommand()
{
    OPEN();
    m_box->NeverReply(1);
    m_link->Request(1);
    m_link->Request(1);
    WAIT_RECEIVED(2);
    QCOMPARE(m_link->Pending(), 2);
    const EmuFrameRecord first = m_box->Received()[0];
    m_box->Reply(first, result(1));
    QTRY_COMPARE(m_link->calls.size(), 1);
    QCOMPARE(m_link->Pending(), 1);
    QCOMPARE(m_link->SentStamps().size(), 1);
    m_box->Reply(first, result(1));
    QTRY_COMPARE(m_link->calls.size(), 2);
    QVERIFY(m_link->MapsEmpty());
    // A third reply finds nothing pending.
    m_box->Reply(first, result(1));
    m_box->Push(77, "sentinel");
    QTRY_COMPARE(m_link->calls.size(), 3);
    QCOMPARE(m_link->calls[2].cmd, 77u);
}

void tst_Communication::defaultsArePinned()
{
    // A request unanswered for more than 100000 ms is re-sent, at most three
    // times, on the 1000 ms sweep, then given up.
    OPEN();
    QCOMPARE(m_link->Timeout(), 100000);
    QCOMPARE(m_link->RetryCount(), 3);
    QCOMPARE(m_link->SweepInterval(), 1000);
    m_box->NeverReply(7);
    const QByteArray payload("start");
    m_link->Request(7, &payload);
    WAIT_RECEIVED(1);
    for (int resend = 1; resend <= 3; ++resend) {
        m_link->Advance(100000);                  // not yet: strictly more than the time-out
        QCOMPARE(m_link->RetryCounts(), QList<int>{resend - 1});
        m_link->Advance(1);
        QCOMPARE(m_link->RetryCounts(), QList<int>{resend});
    }
    WAIT_RECEIVED(4);
    const QList<EmuFrameRecord> got = m_box->Received();
    for (const EmuFrameRecord& f : got) {
        QCOMPARE(f.seq, got[0].seq);
        QCOMPARE(f.payload, payload);
    }
    QVERIFY(m_link->Failed().isEmpty());
    m_link->Advance(100001);
    QCOMPARE(m_link->Failed().size(), 1);
    QCOMPARE(m_link->Failed()[0].cmd, 7u);
    QVERIFY(m_link->MapsEmpty());
    m_link->Advance(100001);
    WAIT_SENTINEL();
    QCOMPARE(m_box->ReceivedOf(7).size(), 4);
}

void tst_Communication::resendThenGiveUp()
{
    // Time-out and limit as set; each re-send is timed from its own stamp.
    OPEN();
    m_box->NeverReply(7);
    m_link->SetTimeout(60);
    m_link->SetRetryCount(1);
    QSignalSpy expired(m_link.get(), &Communication::RequestExpired);
    m_link->Request(7);
    WAIT_RECEIVED(1);
    m_link->Advance(40);
    m_link->Request(8);                           // stamped 40 ms later
    m_link->Advance(21);                          // 7 re-sent, 8 not yet due
    QCOMPARE(m_link->RetryCounts().count(1), 1);
    QCOMPARE(m_link->RetryCounts().count(0), 1);
    WAIT_RECEIVED(3);
    QCOMPARE(m_box->ReceivedOf(7).size(), 2);
    m_link->Advance(40);                          // 8 re-sent, 7's re-send only 40 ms old
    QVERIFY(m_link->Failed().isEmpty());
    QCOMPARE(expired.count(), 0);
    m_link->Advance(21);                          // 7 given up
    QCOMPARE(m_link->Failed().size(), 1);
    QCOMPARE(m_link->Failed()[0].cmd, 7u);
    QCOMPARE(expired.count(), 1);
    QCOMPARE(expired.at(0).at(0).toUInt(), 7u);
    m_link->Advance(40);                          // 8 given up
    QCOMPARE(m_link->Failed().size(), 2);
    QCOMPARE(expired.count(), 2);
    QCOMPARE(expired.at(1).at(0).toUInt(), 8u);
    QVERIFY(m_link->MapsEmpty());
    QTRY_COMPARE(m_box->ReceivedOf(8).size(), 2);
}

void tst_Communication::notExpiredNotResent()
{
    OPEN();
    m_box->NeverReply(7);
    m_link->Request(7);
    WAIT_RECEIVED(1);
    m_link->Advance(99999);
    QCOMPARE(m_link->Pending(), 1);
    // A late reply still settles it.
    m_box->Reply(m_box->Received()[0], result(1));
    QTRY_COMPARE(m_link->calls.size(), 1);
    QVERIFY(m_link->MapsEmpty());
    QCOMPARE(m_box->ReceivedOf(7).size(), 1);
}

void tst_Communication::sweepTimerRunsByItself()
{
    // Nothing but the engine's own timer sweeps here.
    OPEN();
    m_box->NeverReply(5);
    m_link->SetRetryCount(1);
    m_link->Request(5);
    WAIT_RECEIVED(1);
    m_link->clock += 100001;
    QTRY_COMPARE_WITH_TIMEOUT(m_box->Received().size(), 2, 4000);
    m_link->clock += 100001;
    QTRY_COMPARE_WITH_TIMEOUT(m_link->Failed().size(), 1, 4000);
    QVERIFY(m_link->MapsEmpty());
}

void tst_Communication::withoutAClockRequestsAgeOnTheSteadyOne()
{
    // Stamped on the monotonic clock, never on the time of day, which GPS or
    // a time server may set back or forward under a running request.
    OPEN();
    m_box->NeverReply(1);
    m_link->SetClock(nullptr);
    const qint64 before = Communication::SteadyNow();
    m_link->Request(1);
    WAIT_RECEIVED(1);
    const qint64 after = Communication::SteadyNow();
    QCOMPARE(m_link->SentStamps().size(), 1);
    QVERIFY(m_link->SentStamps().first() >= before && m_link->SentStamps().first() <= after);
    QVERIFY(after < QDateTime::currentMSecsSinceEpoch() / 2);
    m_link->OnRequestTimout();
    QCOMPARE(m_link->Pending(), 1);
}

void tst_Communication::sameMillisecondBothTracked()
{
    // The clock stands still: both requests share one stamp.
    OPEN();
    m_box->NeverReply(1);
    m_link->SetTimeout(30);
    m_link->SetRetryCount(1);
    m_link->Request(1);
    m_link->Request(1);
    const QList<qint64> stamps = m_link->SentStamps();
    QCOMPARE(stamps.size(), 2);
    QCOMPARE(stamps[0], stamps[1]);
    WAIT_RECEIVED(2);
    m_link->Advance(31);
    WAIT_RECEIVED(4);                             // both re-sent
    QCOMPARE(m_link->Pending(), 2);
    m_link->Advance(31);
    QCOMPARE(m_link->Failed().size(), 2);         // both given up
    QVERIFY(m_link->MapsEmpty());
}

void tst_Communication::pendingGivenUpOnLinkChange_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("re-addressed") << 0;
    QTest::newRow("closed") << 1;
    QTest::newRow("dropped by the box") << 2;
}

void tst_Communication::pendingGivenUpOnLinkChange()
{
    QFETCH(int, how);
    OPEN();
    m_box->NeverReply(2);
    m_link->SetTimeout(30);
    m_link->Request(2);
    WAIT_RECEIVED(1);
    QSignalSpy closed(m_link.get(), &Communication::ComClosed);
    QSignalSpy expired(m_link.get(), &Communication::RequestExpired);
    if (how == 0)
        m_link->SetAddress(st_ComAddress{kHost.toString(), m_box->Port()});
    else if (how == 1)
        m_link->Close();
    else
        m_box->CloseClient();
    QTRY_COMPARE(m_link->Failed().size(), 1);
    QCOMPARE(m_link->Failed()[0].cmd, 2u);
    QVERIFY(m_link->MapsEmpty());
    QTRY_COMPARE(closed.count(), 1);
    QVERIFY(!m_link->IsConnected());

    // On the next connection the old request never goes out again.
    QSignalSpy connected(m_link.get(), &Communication::ComConnected);
    m_link->Open();
    QVERIFY(connected.wait(5000));
    QTRY_COMPARE(m_box->ConnectionsAccepted(), 2);
    m_link->Advance(31);
    m_link->Advance(31);
    WAIT_SENTINEL();
    QCOMPARE(m_box->ReceivedOf(2).size(), 1);
    QCOMPARE(m_link->Failed().size(), 2);         // the old request, and the sentinel abandoned
    QCOMPARE(expired.count(), 0);                 // neither went unanswered
}

void tst_Communication::requestFromInsideOnFrame()
{
    // A reply often leads straight to the next command.
    OPEN();
    m_box->ReplyWith(1, result(1));
    m_box->ReplyWith(2, result(2));
    m_link->onCall = [](LinkProbe& link, const FrameCall& c) {
        if (c.cmd == 1)
            link.Request(2);
    };
    m_link->Request(1);
    QTRY_COMPARE(m_link->calls.size(), 2);
    QCOMPARE(m_link->calls[1].cmd, 2u);
    QCOMPARE(m_link->calls[1].payload, result(2));
    QVERIFY(m_link->MapsEmpty());
}

void tst_Communication::framesThatCameDuringANestedLoopAreRead_data()
{
    QTest::addColumn<bool>("boxCloses");   // right after its last frame, while the loop runs
    QTest::newRow("link stays") << false;
    QTest::newRow("link closed") << true;
}

void tst_Communication::framesThatCameDuringANestedLoopAreRead()
{
    // The receiver of a push shows a box, whose event loop runs inside the
    // receive pass; the box's last frame comes in meanwhile and nothing
    // follows it.
    QFETCH(bool, boxCloses);
    OPEN();
    auto* socket = m_link->Device()->findChild<QTcpSocket*>();
    QVERIFY(socket);
    QSignalSpy closed(m_link.get(), &Communication::ComClosed);
    int framesAtClose = -1;
    connect(m_link.get(), &Communication::ComClosed, this, [&] { framesAtClose = m_link->calls.size(); });
    bool nested = false;
    m_link->onCall = [&](LinkProbe&, const FrameCall& c) {
        if (c.cmd != 3 || nested)
            return;
        nested = true;
        m_box->Push(4, "last");
        if (boxCloses) {
            m_box->CloseClientAfterWrites();
            // The close reaches the socket while the loop runs, but is
            // announced only after what the box sent before it.
            QTRY_COMPARE(socket->state(), QAbstractSocket::UnconnectedState);
            QCOMPARE(closed.count(), 0);
        } else {
            QTRY_VERIFY(socket->bytesAvailable() > 0);
        }
    };
    m_box->Push(3, "first");
    QTRY_COMPARE(m_link->calls.size(), 2);
    QCOMPARE(m_link->calls[1].cmd, 4u);
    QCOMPARE(m_link->calls[1].payload, QByteArray("last"));
    if (boxCloses) {
        QCOMPARE(closed.count(), 1);
        QCOMPARE(framesAtClose, 2);
        QVERIFY(!m_link->IsConnected());
    }
}

void tst_Communication::closeWhileConnecting()
{
    QSignalSpy connected(m_link.get(), &Communication::ComConnected);
    m_link->SetAddress(st_ComAddress{kHost.toString(), m_box->Port()});
    m_link->Open();
    m_link->Close(); // not connected yet: the attempt goes on
    QVERIFY(connected.wait(5000));
    QVERIFY(m_link->IsConnected());
}

QTEST_GUILESS_MAIN(tst_Communication)
#include "tst_communication.moc"
