// Frame codec: packing, the payload check and cutting frames out of a buffer.

#include "ComFrame.h"
#include "EmuFrame.h"
#include "FrameReaderHarness.h"

#include <QtTest>

#include <memory>

namespace
{
QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

QByteArray frameOf(quint16 cmd, quint16 type, const QByteArray& payload, quint32 seq = 7,
                   const EmuFault& fault = EmuFault())
{
    return EmuFrame::Build(cmd, type, seq, payload, fault);
}

// Cuts every frame out of a stream the way the transport does: one call per
// pass, removing what the call says.
using FrameReaderHarness::cutEditing;
}

class tst_ComFrame : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Must run first: it relies on the sequence counter still being at zero.
    void firstFrameHeader();
    void payloadCheck_data();
    void payloadCheck();
    void packRoundTrip();
    void unpackResults_data();
    void unpackResults();
    void noiseThenFrame();
    void backToBack();
    void headerJudgedBeforePayload();
    void finalSyncByteKept();
    void enormousLengthIsDamage_data();
    void enormousLengthIsDamage();
    void viewOverloadCountsSkippedBytes();
    void typesAndUnknownSequenceAccepted();
};

void tst_ComFrame::firstFrameHeader()
{
    QCOMPARE(g_comFrameSeq, 0u);
    st_ComRequest req;
    req.cmd = 1;
    req.data = QByteArray(88, '\x11');
    std::unique_ptr<QByteArray> f(ComFrame::Pack(req, 0));
    QCOMPARE(f->size(), 28 + 88);
    QCOMPARE(f->left(20), hex("AA550080010000000000000058000000" "59000000"));
    const quint32 check = ComFrame::CalcCheck(88, req.data.constData());
    QCOMPARE(check, 0u); // 22 equal words cancel out
    QCOMPARE(f->mid(20, 4), hex("00000000"));
    QCOMPARE(f->mid(24, 4), hex("00000000"));
    QCOMPARE(f->mid(28), req.data);
    QCOMPARE(g_comFrameSeq, 1u);

    std::unique_ptr<QByteArray> g(ComFrame::Pack(st_ComRequest{5, QByteArray()}, 0));
    QCOMPARE(ComFrame::GetSeq(*g), 1u);
    QCOMPARE(g->size(), 28);
}

void tst_ComFrame::payloadCheck_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<quint32>("check");
    QTest::newRow("abc") << QByteArray("abc") << 0x00636261u;
    QTest::newRow("five bytes") << hex("0102030405") << 0x04030204u;
    QTest::newRow("empty") << QByteArray() << 0u;
    QTest::newRow("one word") << hex("78563412") << 0x12345678u;
    QTest::newRow("nine bytes") << hex("010000000200000003") << 0x00000000u;
    QTest::newRow("sixteen bytes") << hex("01000000020000000400000008000000") << 0x0Fu;
}

void tst_ComFrame::payloadCheck()
{
    QFETCH(QByteArray, data);
    QFETCH(quint32, check);
    QCOMPARE(ComFrame::CalcCheck(quint32(data.size()), data.constData()), check);
    QCOMPARE(EmuFrame::Check(data), check);
}

void tst_ComFrame::packRoundTrip()
{
    // Every length class of the eight-byte check loop, against the box's own
    // bytewise check.
    for (int len : {1, 3, 4, 7, 8, 9, 15, 16, 17, 4024}) {
        QByteArray payload(len, '\0');
        for (int i = 0; i < len; ++i)
            payload[i] = char(i * 37 + 11);
        std::unique_ptr<QByteArray> f(ComFrame::Pack(st_ComRequest{0x12345, payload}, 0));
        QCOMPARE(ComFrame::GetCmd(*f), quint16(0x2345));
        QCOMPARE(ComFrame::GetType(*f), quint16(0));
        std::unique_ptr<QByteArray> data(ComFrame::GetData(*f));
        QCOMPARE(*data, payload);
        QCOMPARE(*f, EmuFrame::Build(0x2345, 0, ComFrame::GetSeq(*f), payload));
    }
}

void tst_ComFrame::unpackResults_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<quint32>("consumed");
    QTest::addColumn<QByteArray>("bufferAfter");

    const QByteArray good = frameOf(3, 0, "payload!");
    EmuFault marker;
    marker.hasMarker = true;
    marker.marker = 0x0080;
    EmuFault badSum;
    badSum.badHeaderSum = true;
    EmuFault badCheck;
    badCheck.badPayloadCheck = true;
    const QByteArray noSync = EmuFrame::Garbage(100, 3);

    QTest::newRow("no sync") << noSync << false << 100u << noSync;
    QTest::newRow("first 20 bytes") << good.left(20) << false << 0u << good.left(20);
    QTest::newRow("noise then short header") << ("xy" + good.left(20)) << false << 0u
                                             << good.left(20);
    QTest::newRow("marker 0x0080") << frameOf(3, 0, "abc", 1, marker) << false << 2u
                                   << frameOf(3, 0, "abc", 1, marker);
    QTest::newRow("header sum") << frameOf(3, 0, "abc", 1, badSum) << false << 2u
                                << frameOf(3, 0, "abc", 1, badSum);
    QTest::newRow("payload incomplete") << good.left(30) << false << 0u << good.left(30);
    QTest::newRow("payload changed") << frameOf(3, 0, "abc", 1, badCheck) << false << 2u
                                     << frameOf(3, 0, "abc", 1, badCheck);
    QTest::newRow("whole frame") << good << true << quint32(good.size()) << good;
    QTest::newRow("length near 2^32 with its sum")
        << [] {
               EmuFault f;
               f.hasLength = true;
               f.length = 0xFFFFFFF0u;
               return frameOf(3, 0, "abc", 1, f);
           }()
        << false << 2u << QByteArray();
}

void tst_ComFrame::unpackResults()
{
    QFETCH(QByteArray, buffer);
    QFETCH(bool, ok);
    QFETCH(quint32, consumed);
    QFETCH(QByteArray, bufferAfter);

    QByteArray buf = buffer;
    QByteArray frame("stale");
    quint32 used = 12345;
    QCOMPARE(ComFrame::Unpack(buf, frame, used), ok);
    QCOMPARE(used, consumed);
    if (!bufferAfter.isEmpty())
        QCOMPARE(buf, bufferAfter);
    if (ok)
        QCOMPARE(frame, buf.left(int(consumed)));
    else
        QVERIFY(frame.isEmpty());
}

void tst_ComFrame::noiseThenFrame()
{
    const QByteArray good = frameOf(9, 1, QByteArray(40, 'z'));
    QByteArray buf = hex("1234") + good;
    QByteArray frame;
    quint32 used = 0;
    QVERIFY(ComFrame::Unpack(buf, frame, used));
    QCOMPARE(used, quint32(28 + 40));
    QCOMPARE(frame, good);
    QCOMPARE(buf, good);
}

void tst_ComFrame::backToBack()
{
    const QByteArray a = frameOf(1, 1, "first");
    const QByteArray b = frameOf(2, 0, "second one");
    const QList<QByteArray> frames = cutEditing(a + b);
    QCOMPARE(frames.size(), 2);
    QCOMPARE(frames[0], a);
    QCOMPARE(frames[1], b);
}

void tst_ComFrame::headerJudgedBeforePayload()
{
    // A damaged header announcing 1000 bytes is dropped at once; the frame
    // behind it is not held back.
    EmuFault badSum;
    badSum.badHeaderSum = true;
    const QByteArray bad = frameOf(4, 0, QByteArray(1000, 'q'), 1, badSum).left(28);
    const QByteArray good = frameOf(5, 0, "ok");
    const QList<QByteArray> frames = cutEditing(bad + good);
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames[0], good);
}

void tst_ComFrame::finalSyncByteKept()
{
    // The buffer ends with the first half of the next frame's sync.
    const QByteArray good = frameOf(6, 1, "after the split");
    QByteArray buf = EmuFrame::Garbage(99, 5) + QByteArray(1, char(0xAA));
    QByteArray frame;
    quint32 used = 0;
    QVERIFY(!ComFrame::Unpack(buf, frame, used));
    QCOMPARE(used, 99u);
    buf.remove(0, int(used));
    QCOMPARE(buf, QByteArray(1, char(0xAA)));
    // Nothing more to cut from a lone AA: the reader waits.
    QVERIFY(!ComFrame::Unpack(buf, frame, used));
    QCOMPARE(used, 0u);
    buf += good.mid(1);
    QVERIFY(ComFrame::Unpack(buf, frame, used));
    QCOMPARE(frame, good);
    // AA AA: the first is noise, the second may still be a sync.
    QByteArray two = hex("AAAA");
    QVERIFY(!ComFrame::Unpack(two, frame, used));
    QCOMPARE(used, 1u);
}

void tst_ComFrame::enormousLengthIsDamage_data()
{
    QTest::addColumn<quint32>("length");
    QTest::addColumn<bool>("damage");
    QTest::newRow("16 MiB exactly") << ComFrame::MaxPayload << false;
    QTest::newRow("16 MiB + 1") << ComFrame::MaxPayload + 1 << true;
    QTest::newRow("2 GiB") << 0x80000000u << true;
    QTest::newRow("4 GiB - 1") << 0xFFFFFFFFu << true;
}

void tst_ComFrame::enormousLengthIsDamage()
{
    QFETCH(quint32, length);
    QFETCH(bool, damage);
    EmuFault f;
    f.hasLength = true;
    f.length = length;
    const QByteArray liar = frameOf(3, 0, QByteArray(), 1, f);
    const QByteArray good = frameOf(3, 0, "behind");
    QByteArray buf = liar + good;
    QByteArray frame;
    quint32 used = 0;
    QVERIFY(!ComFrame::Unpack(buf, frame, used));
    QCOMPARE(used, damage ? 2u : 0u);
    if (damage) {
        const QList<QByteArray> frames = cutEditing(liar + good);
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames[0], good);
    }
}

void tst_ComFrame::viewOverloadCountsSkippedBytes()
{
    const QByteArray good = frameOf(8, 1, "view");
    const QByteArray buf = QByteArray("noise") + good;
    QByteArray frame;
    quint32 used = 0;
    QVERIFY(ComFrame::Unpack(buf.constData(), quint32(buf.size()), frame, used));
    QCOMPARE(used, quint32(5 + good.size()));
    QCOMPARE(frame, good);
    // Incomplete behind noise: the noise goes, the partial frame stays.
    const QByteArray partial = QByteArray("noise") + good.left(10);
    QVERIFY(!ComFrame::Unpack(partial.constData(), quint32(partial.size()), frame, used));
    QCOMPARE(used, 5u);
}

void tst_ComFrame::typesAndUnknownSequenceAccepted()
{
    for (quint16 type : {quint16(0), quint16(1), quint16(7)}) {
        QByteArray buf = frameOf(0x1234, type, "t", 0xDEADBEEF);
        QByteArray frame;
        quint32 used = 0;
        QVERIFY(ComFrame::Unpack(buf, frame, used));
        QCOMPARE(ComFrame::GetType(frame), type);
        QCOMPARE(ComFrame::GetCmd(frame), quint16(0x1234));
        QCOMPARE(ComFrame::GetSeq(frame), 0xDEADBEEFu);
    }
}

QTEST_GUILESS_MAIN(tst_ComFrame)
#include "tst_comframe.moc"
