// Sizes of the window from the screen's available height, and the build time
// read from the compiler's date and time texts.
#include "BuildTime.h"
#include "WindowMetrics.h"

#include <QLocale>
#include <QtTest>

class TestWindowMetrics : public QObject
{
    Q_OBJECT

private slots:
    void metrics_data()
    {
        QTest::addColumn<int>("availableHeight");
        QTest::addColumn<double>("scale");
        QTest::addColumn<QSize>("minimumSize");
        QTest::addColumn<int>("treeWidth");
        QTest::addColumn<int>("panelWidth");
        QTest::addColumn<int>("titleBarHeight");
        QTest::addColumn<int>("axisFont");
        QTest::addColumn<QStringList>("variables");

        // $font-size-s, -m, -l, -l-1, $xRadius, $xPadding, $input-height, $btn-min-width, $tab-width
        QTest::newRow("800: scale 1") << 800 << 1.0 << QSize(960, 640) << 258 << 300 << 62 << 11
                                      << QStringList{"13px", "15px", "24px", "23px", "4px", "6px", "34px", "62px", "100px"};
        QTest::newRow("1040: scale 1.3, ceilings and truncations")
            << 1040 << 1.3 << QSize(1248, 832) << 323 << 378 << 81 << 15
            << QStringList{"17px", "20px", "32px", "30px", "6px", "10px", "45px", "81px", "130px"};
        QTest::newRow("600: scale 0.75") << 600 << 0.75 << QSize(720, 480) << 203 << 235 << 47 << 9
                                         << QStringList{"10px", "12px", "18px", "18px", "3px", "4px", "26px", "47px", "75px"};
        QTest::newRow("1001: truncated minimum size") << 1001 << 1.25125 << QSize(1201, 800) << 312 << 365 << 78 << 14
                                                      << QStringList{"17px", "19px", "31px", "29px", "6px", "9px", "43px", "78px", "126px"};
    }

    void metrics()
    {
        QFETCH(int, availableHeight);
        QFETCH(double, scale);
        QFETCH(QSize, minimumSize);
        QFETCH(int, treeWidth);
        QFETCH(int, panelWidth);
        QFETCH(int, titleBarHeight);
        QFETCH(int, axisFont);
        QFETCH(QStringList, variables);

        const WindowMetrics m = windowMetricsFor(availableHeight);
        QCOMPARE(m.scale, scale);
        QCOMPARE(m.minimumSize, minimumSize);
        QCOMPARE(m.treeWidth, treeWidth);
        QCOMPARE(m.panelWidth, panelWidth);
        QCOMPARE(m.titleBarHeight, titleBarHeight);
        QCOMPARE(titleBarHeightFor(m.scale), titleBarHeight);
        QCOMPARE(m.axisFontPixels, axisFont);
        const QStringList names{"$font-size-s", "$font-size-m", "$font-size-l", "$font-size-l-1", "$xRadius",
                                "$xPadding", "$input-height", "$btn-min-width", "$tab-width"};
        QCOMPARE(m.variables.size(), names.size());
        for (int i = 0; i < names.size(); ++i) {
            QCOMPARE(m.variables.at(i).first, names.at(i));
            QCOMPARE(m.variables.at(i).second, variables.at(i));
        }
    }

    void buildTime_data()
    {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QDateTime>("expected");

        QTest::newRow("two-digit day") << "Sep 17 2025" << "14:55:14"
                                       << QDateTime(QDate(2025, 9, 17), QTime(14, 55, 14));
        QTest::newRow("day below 10 padded with a blank") << "Jan  7 2026" << "08:05:09"
                                                          << QDateTime(QDate(2026, 1, 7), QTime(8, 5, 9));
        QTest::newRow("leap day") << "Feb 29 2024" << "23:59:59" << QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59));
        QTest::newRow("no such day") << "Feb 29 2023" << "00:00:00" << QDateTime();
        QTest::newRow("midnight of the year's last day") << "Dec 31 1999" << "00:00:00"
                                                         << QDateTime(QDate(1999, 12, 31), QTime(0, 0));
    }

    void buildTime()
    {
        QFETCH(QString, date);
        QFETCH(QString, time);
        QFETCH(QDateTime, expected);

        // The month names are English whatever the user's locale.
        for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::Chinese, QLocale::China)}) {
            QLocale::setDefault(locale);
            const QDateTime parsed = buildDateTimeFrom(date, time);
            QCOMPARE(parsed.isValid(), expected.isValid());
            if (expected.isValid()) {
                QCOMPARE(parsed.date(), expected.date());
                QCOMPARE(parsed.time(), expected.time());
                QCOMPARE(parsed.timeSpec(), Qt::LocalTime);
            }
        }
        QLocale::setDefault(QLocale::c());
    }

    void programBuildTime()
    {
        QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
        const QDateTime built = GetBuildDateTime();
        QLocale::setDefault(QLocale::c());
        QVERIFY(built.isValid());
        QVERIFY(built <= QDateTime::currentDateTime());
    }
};

QTEST_GUILESS_MAIN(TestWindowMetrics)
#include "tst_windowmetrics.moc"
