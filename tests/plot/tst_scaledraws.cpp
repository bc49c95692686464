// Tick labels of the plot axes: the text for each value and the label font.
#include "PlotGlobals.h"
#include "ScaleDraws.h"

#include <QtTest>

#include <ctime>
#include <memory>

class TestScaleDraws : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // Clock times are checked in a fixed zone eight hours east of UTC.
        qputenv("TZ", "CST-8");
        tzset();
    }

    void labels_data()
    {
        QTest::addColumn<QString>("draw");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");

        QTest::newRow("sci 1 plain") << "sci" << 1.0 << "1";
        QTest::newRow("sci 50 plain") << "sci" << 50.0 << "50";
        QTest::newRow("sci 99 plain") << "sci" << 99.0 << "99";
        QTest::newRow("sci 100 power") << "sci" << 100.0 << "<p>10<sup>2</sup></p>";
        QTest::newRow("sci 1e10 power") << "sci" << 1e10 << "<p>10<sup>10</sup></p>";
        QTest::newRow("sci 0.001 power") << "sci" << 0.001 << "<p>10<sup>-3</sup></p>";
        QTest::newRow("sci 1.04e-5 rounds to power") << "sci" << 1.04e-5 << "<p>10<sup>-5</sup></p>";
        QTest::newRow("sci 2e-5 e form") << "sci" << 2e-5 << "2.0e-05";
        QTest::newRow("sci 0.5 e form") << "sci" << 0.5 << "5.0e-01";
        QTest::newRow("sci 250 e form") << "sci" << 250.0 << "2.5e+02";

        QTest::newRow("simple 100000") << "simple" << 100000.0 << "100000";
        QTest::newRow("simple 1234567") << "simple" << 1234567.0 << "1.23457e+06";
        QTest::newRow("simple 0.0001") << "simple" << 0.0001 << "0.0001";
        QTest::newRow("simple -2.5") << "simple" << -2.5 << "-2.5";

        QTest::newRow("time epoch") << "time" << 0.0 << "08:00:00";
        QTest::newRow("time 999.9 ms stays in its second") << "time" << 999.9 << "08:00:00";
        QTest::newRow("time 1999.9 ms") << "time" << 1999.9 << "08:00:01";
        QTest::newRow("time before epoch truncates toward zero") << "time" << -0.5 << "08:00:00";
        QTest::newRow("time afternoon") << "time" << (5 * 3600.0 + 61) * 1000 << "13:01:01";
        QTest::newRow("time date dropped") << "time" << 946656001000.0 << "00:00:01";
    }

    void labels()
    {
        QFETCH(QString, draw);
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(makeDraw(draw)->label(value).text(), text);
    }

    void labelFontFollowsAxisFont()
    {
        const QFont saved = g_axisFont;
        for (const char* draw : {"sci", "simple", "time"}) {
            const auto scaleDraw = makeDraw(QLatin1String(draw));
            g_axisFont = QFont(QStringLiteral("DejaVu Serif"));
            g_axisFont.setPixelSize(17);
            QCOMPARE(scaleDraw->label(10.0).font(), g_axisFont);
            g_axisFont.setPixelSize(23);
            g_axisFont.setBold(true);
            QCOMPARE(scaleDraw->label(10.0).font(), g_axisFont);
        }
        g_axisFont = saved;
    }

private:
    static std::unique_ptr<QwtScaleDraw> makeDraw(const QString& kind)
    {
        if (kind == QLatin1String("sci"))
            return std::make_unique<SciScaleDraw>();
        if (kind == QLatin1String("time"))
            return std::make_unique<TimeScaleDraw>();
        return std::make_unique<SimpleScaleDraw>();
    }
};

QTEST_MAIN(TestScaleDraws)
#include "tst_scaledraws.moc"
