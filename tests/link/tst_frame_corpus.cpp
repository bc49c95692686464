// Replays the checked-in frame-reader corpus (the seeds of the fuzz target):
// every file must cut the same frames whole, in pieces and with the
// buffer-editing reader, agree with the box's own reader, and give the number
// of frames its name says (".nK.bin").

#include "FrameReaderHarness.h"

#include <QDir>
#include <QRegularExpression>
#include <QtTest>

class tst_FrameCorpus : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void replay_data();
    void replay();
};

void tst_FrameCorpus::replay_data()
{
    QTest::addColumn<QString>("path");
    const QDir dir(QStringLiteral(FRAME_CORPUS_DIR));
    const QStringList files = dir.entryList({QStringLiteral("*.bin")}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 10);
    for (const QString& f : files)
        QTest::newRow(qPrintable(f)) << dir.filePath(f);
}

void tst_FrameCorpus::replay()
{
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const QString problem = FrameReaderHarness::check(
        reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    const QList<QByteArray> frames = FrameReaderHarness::cutThroughBuffer(bytes, 0);
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("\\.n(\\d+)\\.bin$")).match(path);
    QVERIFY(m.hasMatch());
    QCOMPARE(frames.size(), m.captured(1).toInt());
}

QTEST_GUILESS_MAIN(tst_FrameCorpus)
#include "tst_frame_corpus.moc"
