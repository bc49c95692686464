#pragma once
// A small project file for the export tests, written through the data layer,
// and its lines held in memory the way an opened project holds them: lines
// and points whole, samples light (ID, USE, PERIOD, SendFs only).
//
// Line 10 (single soundings, in use, note "first line"):
//   point 10:   two used samples, currents 10 A and 11 A, turn-off 1 us and
//               64.5 us, decays at 1000/10000/100000 us a decade apart;
//   point 12.5: self-check, one sample (2 A, no turn-off waveform);
//   point 20:   one sample, not used;
//   point 30:   no samples;
//   point 40:   not used.
// Line 11: not used. Line 12 (continuous, in use): point 0 not used, point 7
// with one sample (4 A, turn-off 40 us). Line 13.5: in use, no points.

#include "Data_Blob.h"
#include "Data_Calc.h"
#include "DataClasses.h"
#include "Orm.h"
#include "Resources.h"
#include "TextFile.h"

#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QString>
#include <QVector>
#include <QtTest>

#include <algorithm>

#include <memory>

namespace exportfixture {

using Lines = QVector<std::shared_ptr<Data_Line> >;

// What every export needs first: the program's resources, the gate-time
// table (a Data_Calc owned by parent, start time 80 us) and the receiver gain
// the expected files were written with.
inline Data_Calc* setUpExports(QObject* parent)
{
    initVodezResources();
    auto* calc = new Data_Calc(parent);
    g_recvGain = 11.0;
    return calc;
}

inline QByteArray blob(const QVector<double>& v)
{
    return Data_Blob::VectorToByteArray(v);
}

// A square current waveform of 8 samples whose amplitude is amp.
inline QVector<double> square(double amp)
{
    return {amp, amp, amp, amp, -amp, -amp, -amp, -amp};
}

inline qint64 localMs(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms)).toMSecsSinceEpoch();
}

struct SampleRow
{
    qint64 start;
    int type;
    int period;
    double sendFs;
    double recvFs;
    QVector<double> send;
    double offFs;
    QVector<double> off;
    QVector<double> times;
    QVector<double> values;
    int use;
    QString note;
};

class Project
{
public:
    // Creates the file at path and fills lines(). False when the data layer
    // refused a step.
    bool create(const QString& path)
    {
        initDataClasses();
        orm::Database::clearAllDatabases();
        orm::Database::setDatabaseName(path);
        orm::SqlTypes::set(QStringLiteral("double"), QStringLiteral("REAL"));
        if (orm::dao::create_table<Data_Line>().isValid() || orm::dao::create_table<Data_Point>().isValid()
            || orm::dao::create_table<Data_Sample>().isValid())
            return false;

        const QVector<double> decadeTimes = {1000, 10000, 100000};
        auto a = line(10, 0, 1, QStringLiteral("first line"));
        auto p = point(a, 10, 0, 1);
        sample(p, {localMs(2026, 3, 1, 13, 30, 0), 1, 100, 25, 625000, square(10), 2000000,
                   {0, 0, 0, 0, 0, 0}, decadeTimes, {1.1e-2, 1.1e-3, 1.1e-4}, 1, QStringLiteral("s one")});
        sample(p, {localMs(2026, 3, 1, 13, 30, 2), 1, 100, 25, 625000, square(11), 2000000,
                   {0.31, 0.27, 0.27, 0.27, 0.27, 0.29, 0.29}, decadeTimes, {1.1e-1, 1.1e-2, 1.1e-3}, 1,
                   QString()});
        p = point(a, 12.5, 1, 1, QStringLiteral("check"));
        sample(p, {localMs(2026, 3, 1, 9, 15, 36), 2, 50, 50, 78125, square(2), 2000000, {}, {16, 32, 48},
                   {0.5, -0.25, 0}, 1, QStringLiteral("自检 ok")});
        p = point(a, 20, 0, 1);
        sample(p, {localMs(2026, 3, 2, 0, 0, 0), 1, 100, 12.5, 625000, square(3), 2000000, {0, 0, 0, 0, 0, 0},
                   decadeTimes, {1, 1, 1}, 0, QStringLiteral("dropped")});
        point(a, 30, 0, 1);
        p = point(a, 40, 0, 0);
        sample(p, {localMs(2026, 3, 2, 1, 0, 0), 1, 100, 25, 625000, square(3), 2000000, {}, decadeTimes,
                   {1, 1, 1}, 1, QString()});

        auto b = line(11, 0, 0);
        p = point(b, 1, 0, 1);
        sample(p, {localMs(2026, 3, 2, 2, 0, 0), 1, 100, 25, 625000, square(3), 2000000, {}, decadeTimes,
                   {1, 1, 1}, 1, QString()});

        auto c = line(12, 1, 1);
        p = point(c, 0, 0, 0);
        sample(p, {localMs(2026, 3, 3, 18, 44, 0), 1, 100, 6.25, 625000, square(3), 2000000, {},
                   {1000, 10000}, {1, 1}, 1, QString()});
        p = point(c, 7, 0, 1);
        sample(p, {localMs(2026, 3, 3, 18, 45, 0, 500), 0, 100, 6.25, 625000, square(4), 50000,
                   {0, 0, 0, 0, 0, 0}, {1000, 10000}, {-4.4e-2, 4.4e-3}, 1, QStringLiteral("tow")});

        line(13.5, 0, 1);
        return m_ok;
    }

    Lines& lines() { return m_lines; }

    // The coil values the dump prints (not those of the USF export).
    static st_ProjectConfig config()
    {
        st_ProjectConfig c;
        c.SendCoil_Len = 100;
        c.SendCoil_Width = 100;
        c.SendCoil_Turns = 2;
        c.RecvCoil_Size = 40.5;
        return c;
    }

private:
    std::shared_ptr<Data_Line> line(double name, int type, int use, const QString& note = QString())
    {
        auto l = std::make_shared<Data_Line>();
        l->NAME = name;
        l->TYPE = type;
        l->USE = use;
        l->NOTE = note;
        m_ok = m_ok && !orm::dao::insert(*l).isValid();
        m_lines.append(l);
        return l;
    }

    std::shared_ptr<Data_Point> point(const std::shared_ptr<Data_Line>& l, double name, int type, int use,
                                      const QString& note = QString())
    {
        auto p = std::make_shared<Data_Point>();
        p->NAME = name;
        p->TYPE = type;
        p->USE = use;
        p->NOTE = note;
        p->Data_LineID = l;
        m_ok = m_ok && !orm::dao::insert(*p).isValid();
        l->list_Data_Point.append(p);
        return p;
    }

    void sample(const std::shared_ptr<Data_Point>& p, const SampleRow& row)
    {
        Data_Sample s;
        s.StartTime = row.start;
        s.TYPE = row.type;
        s.PERIOD = row.period;
        s.SendFs = row.sendFs;
        s.RecvFs = row.recvFs;
        s.SampleSendFs = 2000000;
        s.DATA_SEND = blob(row.send);
        s.SampleOffFs = row.offFs;
        s.DATA_SOFF = blob(row.off);
        s.DATA_RECV_POS = blob(row.times);
        s.DATA_RECV = blob(row.values);
        s.DATA_RECV_LEN = blob(QVector<double>(row.times.size(), 1.0));
        s.USE = row.use;
        s.NOTE = row.note;
        s.Data_PointID = p;
        m_ok = m_ok && !orm::dao::insert(s).isValid();
        // Held light, as an opened project holds it.
        auto light = std::make_shared<Data_Sample>(s.ID);
        light->USE = s.USE;
        light->PERIOD = s.PERIOD;
        light->SendFs = s.SendFs;
        p->list_Data_Sample.append(light);
    }

    Lines m_lines;
    bool m_ok = true;
};

inline QByteArray expectedFile(const QString& name)
{
    QFile f(QStringLiteral(EXPECTED_DIR "/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The expected file as the export writes it to the disk, in text mode.
inline QByteArray expectedTextFile(const QString& name)
{
    return asTextFile(expectedFile(name));
}

// Compares written text with an expected file line by line, so a failure
// names the first line that differs.
inline void compareWithExpected(const QByteArray& bytes, const QString& expectedName)
{
    const QByteArray expected = expectedFile(expectedName);
    QVERIFY(!expected.isEmpty());
    if (bytes != expected) {
        const QList<QByteArray> a = bytes.split('\n');
        const QList<QByteArray> b = expected.split('\n');
        for (int i = 0; i < std::min(a.size(), b.size()); ++i)
            QCOMPARE(QString::fromUtf8(a[i]), QString::fromUtf8(b[i]));
        QCOMPARE(a.size(), b.size());
    }
}

} // namespace exportfixture
