// The three text listings of a small project against hand-written texts.
#include "ExportFixture.h"
#include "TextListings.h"

#include "Data_Calc.h"

#include <QtTest>

#include <QTemporaryDir>

using namespace exportfixture;
using Progress = QList<QPair<int, int> >;

class TestListings : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    Project m_project;

    static void compareText(const QString& text, const QString& expectedName)
    {
        compareWithExpected(text.toUtf8(), expectedName);
    }

    QString dump(int depth, Progress* progress)
    {
        TextListings::DumpOptions o;
        o.depth = depth;
        o.config = Project::config();
        QString text;
        QTextStream out(&text);
        TextListings::WriteData(out, m_project.lines(), o,
                                [progress](int done, int total) { progress->append({done, total}); });
        out.flush();
        return text;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        setUpExports(this);
        QVERIFY(m_project.create(m_dir.filePath(QStringLiteral("listings.VODEZ"))));
    }

    void dump_data()
    {
        QTest::addColumn<int>("depth");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<Progress>("progress");
        // Totals: 7 points on the lines in use; 5 samples on their points in
        // use, the self-check's included. Blocks: the TEM points, or their
        // used samples.
        QTest::newRow("points") << 0 << "dump0.txt" << Progress{{1, 7}, {2, 7}, {3, 7}, {4, 7}};
        QTest::newRow("samples") << 1 << "dump1.txt" << Progress{{1, 5}, {2, 5}, {3, 5}};
        QTest::newRow("headers") << 2 << "dump2.txt" << Progress();
        QTest::newRow("headers, other depth") << -1 << "dump2.txt" << Progress();
    }
    void dump()
    {
        QFETCH(int, depth);
        QFETCH(QString, expected);
        QFETCH(Progress, progress);
        Progress seen;
        compareText(dump(depth, &seen), expected);
        QCOMPARE(seen, progress);
        // The listing leaves the samples of the tree light.
        for (const auto& line : m_project.lines())
            for (const auto& p : line->list_Data_Point)
                for (const auto& s : p->list_Data_Sample)
                    QVERIFY(s->DATA_RECV.isEmpty());
    }

    void storedColumnsAreListedAndWholeSamplesLeftLight()
    {
        // The samples of point 10 held whole, with arrays and notes other
        // than the stored ones: the stored ones are listed, at both depths,
        // and the list is light again afterwards.
        auto& samples = m_project.lines()[0]->list_Data_Point[0]->list_Data_Sample;
        for (const auto& [depth, expected] : {std::make_pair(0, "dump0.txt"), std::make_pair(1, "dump1.txt")}) {
            for (auto& s : samples) {
                auto whole = std::make_shared<Data_Sample>(*s);
                whole->DATA_RECV = blob({9, 9, 9});
                whole->DATA_RECV_POS = blob({1, 2, 3});
                whole->DATA_SEND = blob(square(1));
                whole->DATA_SOFF = blob({5, 5, 5, 5, 5, 5});
                whole->NOTE = QStringLiteral("held only");
                whole->RecvFs = 3;
                s = whole;
            }
            Progress seen;
            compareText(dump(depth, &seen), QString::fromLatin1(expected));
            for (const auto& s : samples)
                QVERIFY(depth == 1 || (s->DATA_RECV.isEmpty() && s->DATA_SEND.isEmpty()));
        }
    }

    void pointTypeOutOfRangeIsListedAsSounding()
    {
        auto& p = m_project.lines()[0]->list_Data_Point[3];   // point 30, no samples
        p->TYPE = 7;
        Progress seen;
        const QString text = dump(2, &seen);
        QCOMPARE(p->TYPE, 0);
        QVERIFY(text.contains(QStringLiteral("\tPoint : 30\n")));
    }

    void notes()
    {
        QString text;
        QTextStream out(&text);
        out.setCodec("UTF-8");
        TextListings::WriteLog(out, m_project.lines());
        out.flush();
        compareText(text, QStringLiteral("log.txt"));
    }

    void pointTimes()
    {
        QString text;
        QTextStream out(&text);
        TextListings::WritePointTime(out, m_project.lines());
        out.flush();
        compareText(text, QStringLiteral("pointtime.txt"));
    }
};

QTEST_GUILESS_MAIN(TestListings)
#include "tst_listings.moc"
