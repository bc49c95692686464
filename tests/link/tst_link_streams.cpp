// Damaged byte streams from a box: garbage, stray sync bytes, bad sums, a
// lying length, frames cut anywhere. Every good frame must still arrive, in
// order, and the link must go on answering.

#include "EmulatedBox.h"
#include "LinkProbe.h"

#include <QRandomGenerator>
#include <QtTest>

#include <memory>

namespace
{
const QHostAddress kHost(QStringLiteral("127.0.2.4"));

enum Fault {
    Garbage,
    StrayAA,
    StrayAA55,
    PartialHeader,
    BadHeaderSum,
    BadPayloadCheck,
    WrongMarker,
    EnormousLength,
    TruncatedFrame,
    Mixed,
};

QByteArray faultBytes(EmulatedBox& box, Fault f, QRandomGenerator& rng)
{
    if (f == Mixed)
        f = Fault(rng.bounded(int(Mixed)));
    const QByteArray payload(int(4 + rng.bounded(40)), char(rng.bounded(256)));
    EmuFault damage;
    switch (f) {
    case Garbage:
        return EmuFrame::Garbage(int(1 + rng.bounded(300)), rng.generate());
    case StrayAA:
        return QByteArray(1, char(0xAA));
    case StrayAA55:
        return QByteArray::fromHex("AA55");
    case PartialHeader:
        return box.BuildPush(60, payload).left(int(2 + rng.bounded(25)));
    case BadHeaderSum:
        damage.badHeaderSum = true;
        break;
    case BadPayloadCheck:
        damage.badPayloadCheck = true;
        break;
    case WrongMarker:
        damage.hasMarker = true;
        damage.marker = 0x0080;
        break;
    case EnormousLength:
        damage.hasLength = true;
        damage.length = 0x40000000u;
        break;
    case TruncatedFrame:
        // A whole header whose short payload is cut off: the frames behind
        // it fill the announced length, fail the check and are found again.
        return box.BuildPush(61, QByteArray(16, 't')).left(28 + 4);
    case Mixed:
        break;
    }
    return box.BuildPush(62, payload, 0, damage);
}
}

class tst_LinkStreams : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void damagedStream_data();
    void damagedStream();
    void closedInMidFrame();
    void largeBurstInOneWrite();

private:
    void expectLinkAnswers();

    std::unique_ptr<EmulatedBox> m_box;
    std::unique_ptr<LinkProbe> m_link;
};

void tst_LinkStreams::init()
{
    m_box.reset(new EmulatedBox(QStringLiteral("box")));
    QString error;
    QVERIFY2(m_box->Listen(kHost, 0, &error), qPrintable(error));
    m_link.reset(new LinkProbe);
    m_link->OpenTo(*m_box);
}

void tst_LinkStreams::cleanup()
{
    m_link.reset();
    m_box.reset();
}

void tst_LinkStreams::expectLinkAnswers()
{
    m_box->SetChunking(EmulatedBox::Chunking::Whole);
    m_box->ReplyWith(1, QByteArray::fromHex("01000000"));
    const int before = m_link->calls.size();
    m_link->Request(1);
    QTRY_COMPARE(m_link->calls.size(), before + 1);
    QCOMPARE(m_link->calls.last().cmd, 1u);
    QVERIFY(m_link->MapsEmpty());
}

void tst_LinkStreams::damagedStream_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("chunking");
    const char* faults[] = {"garbage",        "stray AA",     "stray AA 55", "partial header",
                            "bad header sum", "bad payload",  "wrong marker", "enormous length",
                            "truncated frame", "mixed"};
    const char* cuts[] = {"whole", "byte by byte", "random chunks"};
    for (int f = 0; f <= int(Mixed); ++f)
        for (int c = 0; c < 3; ++c)
            QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(faults[f], cuts[c]))) << f << c;
}

void tst_LinkStreams::damagedStream()
{
    QFETCH(int, fault);
    QFETCH(int, chunking);
    QRandomGenerator rng(quint32(fault * 31 + chunking));
    m_box->SetChunking(EmulatedBox::Chunking(chunking), 7, quint32(fault + 1));

    const int frames = 25;
    QByteArray stream;
    QList<QByteArray> expected;
    for (int i = 0; i < frames; ++i) {
        stream += faultBytes(*m_box, Fault(fault), rng);
        const QByteArray payload = QByteArray("good frame ") + QByteArray::number(i);
        expected.append(payload);
        stream += m_box->BuildPush(quint16(100 + i % 3), payload);
    }
    // A frame cut off behind a whole header holds the frames after it until
    // its announced length has arrived; the tail of noise makes sure it has.
    stream += EmuFrame::Garbage(64, 99);
    m_box->SendRaw(stream);
    // Byte by byte the stream is thousands of writes: on a loaded machine
    // under the sanitizers that takes more than ten seconds.
    QTRY_COMPARE_WITH_TIMEOUT(m_link->calls.size(), frames, 40000);
    for (int i = 0; i < frames; ++i) {
        QCOMPARE(m_link->calls[i].cmd, unsigned(100 + i % 3));
        QCOMPARE(m_link->calls[i].payload, expected[i]);
    }
    QVERIFY(m_link->IsConnected());
    expectLinkAnswers();
}

void tst_LinkStreams::closedInMidFrame()
{
    QSignalSpy closed(m_link.get(), &Communication::ComClosed);
    m_box->SendRaw(m_box->BuildPush(3, QByteArray(200, 'h')).left(100));
    m_box->CloseClientAfterWrites();
    QVERIFY(closed.wait(5000));
    QVERIFY(m_link->calls.isEmpty());

    m_link->OpenTo(*m_box);
    QCOMPARE(m_link->Device()->BufferedCount(), 0);
    m_box->Push(4, "fresh");
    QTRY_COMPARE(m_link->calls.size(), 1);
    QCOMPARE(m_link->calls[0].payload, QByteArray("fresh"));
    expectLinkAnswers();
}

void tst_LinkStreams::largeBurstInOneWrite()
{
    // Many small frames in one write, the last one split from its tail.
    const int n = 20000;
    QByteArray stream;
    for (int i = 0; i < n; ++i) {
        QByteArray p(4, '\0');
        qToLittleEndian<qint32>(i, p.data());
        stream += m_box->BuildPush(3, p);
    }
    m_box->SendRaw(stream.left(stream.size() - 3));
    QTRY_COMPARE_WITH_TIMEOUT(m_link->calls.size(), n - 1, 20000);
    m_box->SendRaw(stream.right(3));
    QTRY_COMPARE(m_link->calls.size(), n);
    for (int i = 0; i < n; ++i)
        QCOMPARE(qFromLittleEndian<qint32>(m_link->calls[i].payload.constData()), i);
    QCOMPARE(m_link->Device()->BufferedCount(), 0);
}

QTEST_GUILESS_MAIN(tst_LinkStreams)
#include "tst_link_streams.moc"
