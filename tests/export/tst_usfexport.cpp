// The USF export: a small project against a hand-written file, the number
// formats, and what the export leaves behind in memory.
#include "ExportFixture.h"
#include "UsfExport.h"

#include "Data_Calc.h"

#include <QtTest>

#include <QTemporaryDir>

#include <cstring>
#include <limits>

using namespace exportfixture;

class TestUsfExport : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    Project m_project;
    Data_Calc* m_calc = nullptr;

    QByteArray exportOf(const Lines& lines, bool divI = false, QList<QPair<int, int> >* progress = nullptr)
    {
        QString text;
        QTextStream out(&text);
        UsfExport::Write(out, lines, divI, [progress](int written, int total) {
            if (progress)
                progress->append({written, total});
        });
        out.flush();
        return text.toUtf8();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_calc = setUpExports(this);
        QVERIFY(m_project.create(m_dir.filePath(QStringLiteral("usf.VODEZ"))));
    }

    void projectMatchesTheHandWrittenFile()
    {
        QList<QPair<int, int> > progress;
        const QByteArray text = exportOf(m_project.lines(), false, &progress);
        compareWithExpected(text, QStringLiteral("project.usf"));
        if (QTest::currentTestFailed())
            return;
        // One report per line in use (also the one without points), none for
        // the excluded line.
        QCOMPARE(progress, (QList<QPair<int, int> >{{3, 4}, {4, 4}, {4, 4}}));

        // Every written point is light again; the one without samples and
        // the excluded ones were not touched.
        for (const auto& line : m_project.lines())
            for (const auto& p : line->list_Data_Point)
                for (const auto& s : p->list_Data_Sample)
                    QVERIFY(s->DATA_RECV.isEmpty() && s->DATA_SEND.isEmpty());
        QCOMPARE(m_project.lines()[0]->list_Data_Point[0]->list_Data_Sample.size(), 2);
    }

    void storedColumnsAreWrittenAndWholeSamplesLeftLight()
    {
        // Point 10 holding its samples whole, with arrays other than the
        // stored ones: the stored ones are written, and the list is light
        // again afterwards.
        auto& samples = m_project.lines()[0]->list_Data_Point[0]->list_Data_Sample;
        for (auto& s : samples) {
            auto whole = std::make_shared<Data_Sample>(*s);
            whole->DATA_RECV = blob({9, 9, 9});
            whole->DATA_RECV_POS = blob({1, 2, 3});
            whole->DATA_SEND = blob(square(1));
            whole->DATA_SOFF = blob({5, 5, 5, 5, 5, 5});
            whole->StartTime = localMs(2020, 1, 1, 0, 0, 0);
            s = whole;
        }
        compareWithExpected(exportOf(m_project.lines()), QStringLiteral("project.usf"));
        QCOMPARE(samples.size(), 2);
        for (const auto& s : samples) {
            QVERIFY(s->DATA_RECV.isEmpty() && s->DATA_RECV_POS.isEmpty() && s->DATA_SEND.isEmpty()
                    && s->DATA_SOFF.isEmpty());
        }
    }

    void numbersAreWhatADefaultStreamWrites()
    {
        // Bit patterns spread over the whole range of doubles, and the
        // special values.
        QVector<double> xs = {0.0, -0.0, 1e-320, std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(),
                              999999.5, 0.000099999949999, 123456.5, 1e21};
        quint64 bits = 0x9E3779B97F4A7C15ULL;
        for (int i = 0; i < 20000; ++i) {
            bits ^= bits << 13;
            bits ^= bits >> 7;
            bits ^= bits << 17;
            double x;
            std::memcpy(&x, &bits, sizeof x);
            xs.append(x);
            xs.append(double(qint64(bits % 2000000001ULL) - 1000000000) / 1000.0);
        }
        for (double x : xs) {
            QString text;
            QTextStream s(&text);
            s << x;
            s.flush();
            QCOMPARE(UsfExport::Number(x), text);
        }
    }

    void streamFormattingIsResetAndLeftAtDefaults()
    {
        QString text;
        QTextStream out(&text);
        out.setRealNumberPrecision(2);
        out.setFieldWidth(30);
        out.setRealNumberNotation(QTextStream::FixedNotation);
        UsfExport::Write(out, m_project.lines(), false);
        out.flush();
        QCOMPARE(text.toUtf8(), expectedFile(QStringLiteral("project.usf")));
        QCOMPARE(out.realNumberPrecision(), 6);
        QCOMPARE(out.fieldWidth(), 0);
        QCOMPARE(out.realNumberNotation(), QTextStream::SmartNotation);
    }

    void withoutSoundingsOnlyTheHeader_data()
    {
        QTest::addColumn<bool>("withLines");
        QTest::newRow("no lines") << false;
        QTest::newRow("all lines excluded") << true;
    }
    void withoutSoundingsOnlyTheHeader()
    {
        QFETCH(bool, withLines);
        Lines lines;
        if (withLines) {
            // The project's lines, each excluded: their points do not count.
            for (const auto& l : m_project.lines()) {
                auto copy = std::make_shared<Data_Line>(*l);
                copy->USE = 0;
                lines.append(copy);
            }
        }
        QList<QPair<int, int> > progress;
        QCOMPARE(exportOf(lines, false, &progress), expectedFile(QStringLiteral("empty.usf")));
        QVERIFY(progress.isEmpty());
    }

    void valuesReadPerAmpereAreNotDividedAgain()
    {
        // The self-check point of 2 A alone: read divided by the sample's
        // current the decay is 0.25, -0.125, 0 (clamped to 1.1e-9).
        auto line = std::make_shared<Data_Line>(*m_project.lines()[0]);
        line->list_Data_Point = {m_project.lines()[0]->list_Data_Point[1]};
        const QList<QByteArray> rows = exportOf({line}, true).split('\n');
        QVERIFY(rows.contains("/CURRENT:        2"));
        QVERIFY(rows.contains("        1,    6.40000e-06,    2.50000e-01,    0.00000,    1"));
        QVERIFY(rows.contains("        2,    1.28000e-05,    1.25000e-01,    0.00000,    1"));
        QVERIFY(rows.contains("        3,    1.92000e-05,    1.10000e-09,    0.00000,    1"));
    }

    void numbers_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<QString>("text");
        QTest::newRow("loop size") << 0.8862 << "0.8862";
        QTest::newRow("coil size") << 15.024 << "15.024";
        QTest::newRow("six digits") << 12.34567 << "12.3457";
        QTest::newRow("whole") << 25.0 << "25";
        QTest::newRow("half") << 12.5 << "12.5";
        QTest::newRow("small") << 0.00001 << "1e-05";
        QTest::newRow("small fixed") << 0.0001 << "0.0001";
        QTest::newRow("large") << 1234567.0 << "1.23457e+06";
        QTest::newRow("negative") << -3.0 << "-3";
        QTest::newRow("zero") << 0.0 << "0";
    }
    void numbers()
    {
        QFETCH(double, x);
        QFETCH(QString, text);
        QCOMPARE(UsfExport::Number(x), text);
    }

    void timesOfDay_data()
    {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<QString>("text");
        QTest::newRow("half past one") << QDateTime(QDate(2026, 3, 1), QTime(13, 30)) << "13.50000";
        QTest::newRow("midnight") << QDateTime(QDate(2026, 3, 1), QTime(0, 0)) << "0.00000";
        QTest::newRow("milliseconds") << QDateTime(QDate(2026, 3, 1), QTime(18, 45, 0, 500)) << "18.75014";
        QTest::newRow("rounded up") << QDateTime(QDate(2026, 3, 1), QTime(23, 59, 59, 999)) << "24.00000";
        QTest::newRow("invalid") << QDateTime() << "0.00000";
    }
    void timesOfDay()
    {
        QFETCH(QDateTime, start);
        QFETCH(QString, text);
        QCOMPARE(UsfExport::DayTime(start), text);
    }

    void rampTimes_data()
    {
        QTest::addColumn<double>("offUs");
        QTest::addColumn<QString>("text");
        QTest::newRow("6.5 us") << 6.5 << "0.00000650";
        QTest::newRow("64.5 us") << 64.5 << "0.00006450";
        QTest::newRow("none") << 0.0 << "0.00000000";
        QTest::newRow("rounded") << 0.004 << "0.00000000";
    }
    void rampTimes()
    {
        QFETCH(double, offUs);
        QFETCH(QString, text);
        QCOMPARE(UsfExport::RampTime(offUs), text);
    }

    void dataRows_data()
    {
        QTest::addColumn<int>("h");
        QTest::addColumn<double>("t");
        QTest::addColumn<double>("v");
        QTest::addColumn<double>("current");
        QTest::addColumn<double>("error");
        QTest::addColumn<QString>("row");
        QTest::newRow("first") << 0 << 12.5 << -0.00042 << 10.5 << 3.25
                               << "        1,    1.25000e-05,    4.00000e-05,    3.25000,    1";
        QTest::newRow("rounding") << 8 << 123456.0 << 0.0123456789 << 1.0 << 99.999999
                                  << "        9,    1.23456e-01,    1.23457e-02,    100.00000,    1";
        QTest::newRow("wide index") << 123456788 << 1.0 << 5.0 << 2.0 << 0.0
                                    << "123456789,    1.00000e-06,    2.50000e+00,    0.00000,    1";
        QTest::newRow("tiny exponent") << 1 << 0.0001 << 1e-120 << 1.0 << 0.0
                                       << "        2,    1.00000e-10,    1.00000e-120,    0.00000,    1";
    }
    void dataRows()
    {
        QFETCH(int, h);
        QFETCH(double, t);
        QFETCH(double, v);
        QFETCH(double, current);
        QFETCH(double, error);
        QFETCH(QString, row);
        QCOMPARE(UsfExport::DataRow(h, t, v, current, error), row);
    }
};

QTEST_GUILESS_MAIN(TestUsfExport)
#include "tst_usfexport.moc"
