// The persistent classes of a project file: tables, defaults, settings
// record, array blobs and round trips through the database and streams.
#include "DataClasses.h"
#include "Orm.h"

#include <QtTest>

#include <QDateTime>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cmath>
#include <cstring>
#include <limits>

static QStringList tableInfo(const QString& table)
{
    QSqlQuery q(orm::Database::getDatabase());
    q.exec(QStringLiteral("SELECT name, type FROM pragma_table_info('%1') ORDER BY cid").arg(table));
    QStringList out;
    while (q.next())
        out << q.value(0).toString() + QLatin1Char(' ') + q.value(1).toString();
    return out;
}

static st_ProjectConfig sampleConfig()
{
    st_ProjectConfig c;
    double v = 1.25;
    c.WorkConfig = 3;
    for (double* f : {&c.LineNoStart, &c.LineNoSetp, &c.PointNoStart, &c.PointNoStep, &c.SendCoil_Len,
                      &c.SendCoil_Width, &c.SendCoil_Turns, &c.RecvCoil_Size, &c.RecvCoil_Gain, &c.OffTime,
                      &c.PointLen_D, &c.PointLen_R, &c.CreateTime})
        *f = (v += 1.5);
    return c;
}

static bool sameConfig(const st_ProjectConfig& a, const st_ProjectConfig& b)
{
    return a.WorkConfig == b.WorkConfig && a.LineNoStart == b.LineNoStart && a.LineNoSetp == b.LineNoSetp
        && a.PointNoStart == b.PointNoStart && a.PointNoStep == b.PointNoStep && a.SendCoil_Len == b.SendCoil_Len
        && a.SendCoil_Width == b.SendCoil_Width && a.SendCoil_Turns == b.SendCoil_Turns
        && a.RecvCoil_Size == b.RecvCoil_Size && a.RecvCoil_Gain == b.RecvCoil_Gain && a.OffTime == b.OffTime
        && a.PointLen_D == b.PointLen_D && a.PointLen_R == b.PointLen_R && a.CreateTime == b.CreateTime;
}

class TestData : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    int m_files = 0;

    // A new project file with the five tables, the way a project open makes them.
    void createProjectFile()
    {
        orm::Database::clearAllDatabases();
        orm::Database::setDatabaseName(m_dir.filePath(QStringLiteral("p%1.VODEZ").arg(++m_files)));
        orm::SqlTypes::set(QStringLiteral("double"), QStringLiteral("REAL"));
        QVERIFY(!orm::dao::create_table<Data_Project>().isValid());
        QVERIFY(!orm::dao::create_table<Data_Line>().isValid());
        QVERIFY(!orm::dao::create_table<Data_Point>().isValid());
        QVERIFY(!orm::dao::create_table<Data_Sample>().isValid());
        QVERIFY(!orm::dao::create_table<Data_WorkSet>().isValid());
    }

    static std::shared_ptr<Data_Sample> sample(const std::shared_ptr<Data_Point>& p, int period, double fs)
    {
        auto s = std::make_shared<Data_Sample>();
        s->StartTime = 1733800000000LL + period;
        s->TYPE = 2;
        s->PERIOD = period;
        s->USE = 1;
        s->SendFs = fs;
        s->SampleSendFs = 2000000;
        s->SampleOffFs = 2000000;
        s->RecvFs = 625000;
        s->DATA_RECV = Data_Blob::VectorToByteArray({1e-3, 5e-4, 2.5e-4});
        s->DATA_RECV_POS = Data_Blob::VectorToByteArray({10, 20, 40});
        s->DATA_RECV_LEN = Data_Blob::VectorToByteArray({2, 4, 8});
        s->DATA_SEND = Data_Blob::VectorToByteArray({0, 1, 2, 3, 4, 5, 6, 7});
        s->DATA_SOFF = Data_Blob::VectorToByteArray({7, 6, 5});
        s->Data_PointID = p;
        return s;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        initDataClasses();
    }

    void tablesHaveTheColumnsInOrder_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QStringList>("columns");
        QTest::newRow("line") << "Data_Line"
                              << QStringList{"ID INTEGER", "NAME REAL", "TYPE INTEGER", "USE INTEGER", "NOTE TEXT"};
        QTest::newRow("point") << "Data_Point"
                               << QStringList{"ID INTEGER", "NAME REAL",    "USE INTEGER",
                                              "NOTE TEXT",  "TYPE INTEGER", "Data_LineID INTEGER"};
        QTest::newRow("sample") << "Data_Sample"
                                << QStringList{"ID INTEGER",       "StartTime INTEGER",    "DeviceType INTEGER",
                                               "TYPE INTEGER",     "PERIOD INTEGER",       "DATA_RECV BLOB",
                                               "DATA_RECV_POS BLOB", "DATA_RECV_LEN BLOB", "DATA_SEND BLOB",
                                               "DATA_SOFF BLOB",   "SendFs REAL",          "SampleSendFs REAL",
                                               "SampleOffFs REAL", "RecvFs REAL",          "USE INTEGER",
                                               "NOTE TEXT",        "Data_PointID INTEGER"};
        QTest::newRow("project") << "Data_Project"
                                 << QStringList{"ID INTEGER",          "WorkConfig INTEGER",  "LineNoStart REAL",
                                                "LineNoSetp REAL",     "PointNoStart REAL",   "PointNoStep REAL",
                                                "SendCoil_Len REAL",   "SendCoil_Width REAL", "SendCoil_Turns REAL",
                                                "RecvCoil_Size REAL",  "RecvCoil_Gain REAL",  "OffTime REAL",
                                                "PointLen_D REAL",     "PointLen_R REAL",     "CreateTime REAL",
                                                "NOTE TEXT",           "CalibrateNo TEXT",    "SSID TEXT"};
        QTest::newRow("workset") << "Data_WorkSet"
                                 << QStringList{"ID INTEGER",         "WorkConfig INTEGER",  "SendCoil_Len REAL",
                                                "SendCoil_Width REAL", "SendCoil_Turns REAL", "RecvCoil_Size REAL",
                                                "RecvCoil_Gain REAL"};
    }
    void tablesHaveTheColumnsInOrder()
    {
        QFETCH(QString, table);
        QFETCH(QStringList, columns);
        createProjectFile();
        QCOMPARE(tableInfo(table), columns);
        // The registry walk yields the same columns, never a relation.
        const orm::ClassInfo* cls = orm::ClassRegistry::find(table);
        QVERIFY(cls);
        QStringList listed;
        for (const orm::Member* m : cls->columns())
            listed << m->name + QLatin1Char(' ') + orm::SqlTypes::sqlType(*m);
        QCOMPARE(listed, columns);
        // "INDEX" marks the key of lines, points and samples only.
        const bool indexed = table == "Data_Line" || table == "Data_Point" || table == "Data_Sample";
        QCOMPARE(cls->idMember()->properties.value("INDEX"), indexed ? QVariant(1) : QVariant());
        int marked = 0;
        for (const orm::Member* m : cls->columns())
            marked += m->properties.contains("INDEX");
        QCOMPARE(marked, indexed ? 1 : 0);
    }

    void defaults()
    {
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        Data_Project p;
        const qint64 after = QDateTime::currentSecsSinceEpoch();
        QCOMPARE(p.ID, 0);
        QCOMPARE(p.PointNoStep, 10.0);
        QCOMPARE(p.SendCoil_Len, 0.8862);
        QCOMPARE(p.SendCoil_Width, 0.8862);
        QCOMPARE(p.SendCoil_Turns, 32.0);
        QCOMPARE(p.RecvCoil_Size, 15.024);
        QCOMPARE(p.RecvCoil_Gain, 11.0);
        QCOMPARE(p.LineNoStart, 0.0);
        QVERIFY(p.CreateTime >= before && p.CreateTime <= after);
        QCOMPARE(p.CreateTime, std::floor(p.CreateTime));
        QVERIFY(p.NOTE.isEmpty() && p.CalibrateNo.isEmpty() && p.SSID.isEmpty());
        QCOMPARE(Data_Project(1).ID, 1);

        Data_WorkSet w;
        QCOMPARE(w.WorkConfig, 0);
        QCOMPARE(w.SendCoil_Len, 0.8862);
        QCOMPARE(w.SendCoil_Width, 0.8862);
        QCOMPARE(w.SendCoil_Turns, 32.0);
        QCOMPARE(w.RecvCoil_Size, 15.024);
        QCOMPARE(w.RecvCoil_Gain, 11.0);

        Data_Line l;
        QCOMPARE(l.NAME, -1.0);
        QCOMPARE(l.TYPE, 0);
        QVERIFY(l.list_Data_Point.isEmpty());
        QCOMPARE(Data_Line(4).ID, 4);
        QCOMPARE(Data_Line(4).NAME, -1.0);

        Data_Point pt(6);
        QCOMPARE(pt.ID, 6);
        QCOMPARE(pt.NAME, -1.0);
        QCOMPARE(pt.TYPE, 0);
        QVERIFY(!pt.Data_LineID);
        QCOMPARE(pt.GetSampleSize(), 0);
        pt.list_Data_Sample << std::make_shared<Data_Sample>() << std::make_shared<Data_Sample>();
        pt.list_Data_Sample[1]->USE = 0;
        QCOMPARE(pt.GetSampleSize(), 2);

        Data_Sample s(9);
        QCOMPARE(s.ID, 9);
        QCOMPARE(s.RecvFs, 1.0);
        QCOMPARE(s.DeviceType, 1);
        QCOMPARE(s.PERIOD, 0);
        QCOMPARE(s.SendFs, 0.0);
        QVERIFY(s.DATA_RECV.isEmpty() && s.DATA_SOFF.isEmpty());
        QVERIFY(!s.Data_PointID);
    }

    void projectConfigRoundTrip()
    {
        Data_Project p(1);
        p.NOTE = "note";
        p.CalibrateNo = "C-7";
        p.SSID = "net";
        st_ProjectConfig c = sampleConfig();
        p.setProjectConfig(&c);
        QVERIFY(sameConfig(p.getProjectConfig(), c));
        QCOMPARE(p.ID, 1);
        QCOMPARE(p.NOTE, QStringLiteral("note"));
        QCOMPARE(p.CalibrateNo, QStringLiteral("C-7"));
        QCOMPARE(p.SSID, QStringLiteral("net"));
        QCOMPARE(p.CreateTime, c.CreateTime);

        // The record travels through QVariant (signals and slots).
        const QVariant v = QVariant::fromValue(c);
        QVERIFY(sameConfig(v.value<st_ProjectConfig>(), c));
        st_SampleData_Send send{25.0, 2e6, QByteArray("ab"), 1e6, QByteArray("cd")};
        const QVariant vs = QVariant::fromValue(QList<st_SampleData_Send>{send});
        QCOMPARE(vs.value<QList<st_SampleData_Send>>().at(0).DATA_SOFF, QByteArray("cd"));
    }

    void blobFormat_data()
    {
        QTest::addColumn<QByteArray>("blob");
        QTest::addColumn<QVector<double>>("values");
        QTest::newRow("example") << QByteArray::fromHex("3FF0000000000000C000000000000000") << QVector<double>{1.0, -2.0};
        QTest::newRow("one is big-endian") << QByteArray::fromHex("3FF0000000000000") << QVector<double>{1.0};
        QTest::newRow("empty") << QByteArray() << QVector<double>{};
    }
    void blobFormat()
    {
        QFETCH(QByteArray, blob);
        QFETCH(QVector<double>, values);
        QCOMPARE(Data_Blob::VectorToByteArray(values), blob);
        QCOMPARE(Data_Blob::ByteArrayToVector(blob), values);
    }

    void blobEdges()
    {
        // A 19-byte blob: two values and a 3-byte fragment that reads as 0.0.
        QByteArray odd = QByteArray::fromHex("3FF0000000000000C000000000000000") + QByteArray("\x01\x02\x03", 3);
        QCOMPARE(Data_Blob::ByteArrayToVector(odd), (QVector<double>{1.0, -2.0, 0.0}));
        QCOMPARE(Data_Blob::ByteArrayToVector(QByteArray(1, 'x')), QVector<double>{0.0});

        // Bit-identical for every kind of double.
        const QVector<double> special{0.0, -0.0, std::numeric_limits<double>::denorm_min(),
                                      std::numeric_limits<double>::max(), -std::numeric_limits<double>::infinity(),
                                      std::numeric_limits<double>::quiet_NaN(), 1.0 / 3.0, -1e-300};
        const QByteArray blob = Data_Blob::VectorToByteArray(special);
        QCOMPARE(blob.size(), special.size() * 8);
        const QVector<double> back = Data_Blob::ByteArrayToVector(blob);
        QCOMPARE(back.size(), special.size());
        QVERIFY(std::memcmp(back.constData(), special.constData(), size_t(special.size()) * sizeof(double)) == 0);
    }

    // What a project open and a save do, and what they read back.
    void projectRoundTrip()
    {
        createProjectFile();
        QSqlDatabase db = orm::Database::getDatabase();
        Data_Project project(1);
        Data_Project fresh;
        st_ProjectConfig defaults = fresh.getProjectConfig();
        project.setProjectConfig(&defaults);
        project.SSID = "stored net";
        QVERIFY(db.transaction());
        QVERIFY(!orm::dao::insert(project).isValid());
        Data_WorkSet ws;
        QVERIFY(!orm::dao::insert(ws).isValid());
        QVERIFY(db.commit());
        QCOMPARE(project.ID, 1);
        QCOMPARE(ws.ID, 1);

        // Opening reads everything but the network name.
        auto opened = std::make_shared<Data_Project>();
        opened->ID = 1;
        QVERIFY(!orm::dao::fetch_by_id_with_relation("-{ SSID }", *opened).isValid());
        QVERIFY(sameConfig(opened->getProjectConfig(), defaults));
        QVERIFY(opened->SSID.isEmpty());
        Data_Project none(2);
        QVERIFY(orm::dao::fetch_by_id_with_relation("-{ SSID }", none).isValid());

        // Storing edited settings must not clear the network name it never read.
        st_ProjectConfig edited = sampleConfig();
        opened->setProjectConfig(&edited);
        QStringList configColumns{"WorkConfig", "LineNoStart", "LineNoSetp", "PointNoStart", "PointNoStep",
                                  "SendCoil_Len", "SendCoil_Width", "SendCoil_Turns", "RecvCoil_Size",
                                  "RecvCoil_Gain", "OffTime", "PointLen_D", "PointLen_R", "CreateTime"};
        QVERIFY(!orm::dao::update(*opened, nullptr, configColumns).isValid());
        Data_Project back(1);
        QVERIFY(!orm::dao::fetch_by_id(back).isValid());
        QVERIFY(sameConfig(back.getProjectConfig(), edited));
        QCOMPARE(back.SSID, QStringLiteral("stored net"));
    }

    void linesPointsAndSamples()
    {
        createProjectFile();
        QSqlDatabase db = orm::Database::getDatabase();
        QVERIFY(db.transaction());
        auto line = std::make_shared<Data_Line>();
        line->NAME = 10;
        line->USE = 1;
        QVERIFY(!orm::dao::insert(*line, &db).isValid());
        auto empty = std::make_shared<Data_Line>();
        empty->NAME = 20;
        empty->USE = 1;
        QVERIFY(!orm::dao::insert(*empty, &db).isValid());
        // Points saved out of number order.
        QVector<std::shared_ptr<Data_Point>> points;
        for (double name : {30.0, 10.0, 20.0}) {
            auto p = std::make_shared<Data_Point>();
            p->NAME = name;
            p->USE = 1;
            p->Data_LineID = line;
            QVERIFY(!orm::dao::insert(*p, &db).isValid());
            line->list_Data_Point << p;
            for (int k = 0; k < 3; ++k) {
                auto s = sample(p, 100 * k + int(name), 25.0);
                QVERIFY(!orm::dao::insert(*s, &db).isValid());
                p->list_Data_Sample << s;
            }
            points << p;
        }
        QVERIFY(db.commit());
        line->list_Data_Point.clear(); // no cycles left behind

        QVector<std::shared_ptr<Data_Line>> lines;
        QSqlError e = orm::dao::fetch_all_with_relation(
            "list_Data_Point <Points_alias> -> list_Data_Sample{USE,PERIOD,SendFs}", lines,
            orm::Query("Points_alias", "ORDER BY Points_alias.Data_LineID ASC,Points_alias.NAME ASC"));
        QVERIFY2(!e.isValid(), qPrintable(e.text()));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0]->NAME, 10.0);
        QCOMPARE(lines[0]->USE, 1);
        QVERIFY(lines[1]->list_Data_Point.isEmpty());
        const auto pts = lines[0]->list_Data_Point;
        QCOMPARE(pts.size(), 3);
        QCOMPARE(pts[0]->NAME, 10.0);
        QCOMPARE(pts[1]->NAME, 20.0);
        QCOMPARE(pts[2]->NAME, 30.0);
        QCOMPARE(pts[0]->Data_LineID->ID, lines[0]->ID);
        QCOMPARE(pts[0]->GetSampleSize(), 3);
        // Light samples, in save order.
        const auto light = pts[2]->list_Data_Sample;
        for (int k = 0; k < 3; ++k) {
            QCOMPARE(light[k]->ID, points[0]->list_Data_Sample[k]->ID);
            QCOMPARE(light[k]->PERIOD, 100 * k + 30);
            QCOMPARE(light[k]->USE, 1);
            QCOMPARE(light[k]->SendFs, 25.0);
            QVERIFY(light[k]->DATA_RECV.isEmpty());
            QCOMPARE(light[k]->RecvFs, 1.0);
            QCOMPARE(light[k]->StartTime, 0LL);
        }

        // Unsorted: points in save order.
        lines.clear();
        QVERIFY(!orm::dao::fetch_all_with_relation("list_Data_Point -> list_Data_Sample{USE,PERIOD,SendFs}", lines,
                                                   orm::Query(""))
                     .isValid());
        QCOMPARE(lines[0]->list_Data_Point[0]->NAME, 30.0);

        // Filling one light sample in place, a column list at a time.
        std::shared_ptr<Data_Sample> s = light[1];
        s->NOTE = "held";
        QVERIFY(!orm::dao::fetch_by_id(*s, nullptr, {"SampleOffFs", "DATA_SOFF"}).isValid());
        QCOMPARE(Data_Blob::ByteArrayToVector(s->DATA_SOFF), (QVector<double>{7, 6, 5}));
        QCOMPARE(s->SampleOffFs, 2000000.0);
        QVERIFY(s->DATA_SEND.isEmpty());
        QCOMPARE(s->NOTE, QStringLiteral("held"));

        // Switching a light sample off must leave its arrays and point as stored.
        s->USE = 0;
        QVERIFY(!orm::dao::update(*s, nullptr, {"USE"}).isValid());
        Data_Sample whole(s->ID);
        QVERIFY(!orm::dao::fetch_by_id(whole).isValid());
        QCOMPARE(whole.USE, 0);
        QCOMPARE(whole.DATA_RECV, points[0]->list_Data_Sample[1]->DATA_RECV);
        QCOMPARE(whole.DATA_SEND, points[0]->list_Data_Sample[1]->DATA_SEND);
        QCOMPARE(whole.StartTime, points[0]->list_Data_Sample[1]->StartTime);
        QCOMPARE(whole.RecvFs, 625000.0);
        QCOMPARE(whole.TYPE, 2);
        QCOMPARE(whole.Data_PointID->ID, points[0]->ID);

        // Re-reading a point's light samples by a bound query.
        QVector<std::shared_ptr<Data_Sample>> again;
        orm::Query byPoint;
        byPoint.where("Data_Sample.Data_PointID").isEqualTo(points[0]->ID);
        QVERIFY(!orm::dao::fetch_by_query_with_relation({"{USE,PERIOD,SendFs}"}, byPoint, again).isValid());
        QCOMPARE(again.size(), 3);
        QCOMPARE(again[1]->USE, 0);
        QCOMPARE(again[2]->PERIOD, 230);
        QVERIFY(again[0]->NOTE.isEmpty());
    }

    void rolledBackSaveLeavesNoRow()
    {
        createProjectFile();
        QSqlDatabase db = orm::Database::getDatabase();
        QVERIFY(db.transaction());
        Data_Line line;
        line.NAME = 1;
        QVERIFY(!orm::dao::insert(line, &db).isValid());
        QVERIFY(db.rollback());
        QVector<std::shared_ptr<Data_Line>> lines;
        QVERIFY(!orm::dao::fetch_all_with_relation("list_Data_Point", lines).isValid());
        QVERIFY(lines.isEmpty());
    }

    void streamOperators()
    {
        auto line = std::make_shared<Data_Line>(3);
        line->NAME = 7.5;
        line->NOTE = QString::fromUtf8("测线");
        auto point = std::make_shared<Data_Point>(4);
        point->NAME = 12;
        point->Data_LineID = line;
        line->list_Data_Point << point;
        auto s = sample(point, 500, 25.0);
        s->ID = 5;
        point->list_Data_Sample << s;

        QByteArray bytes;
        {
            QDataStream out(&bytes, QIODevice::WriteOnly);
            out << *line << *s;
            Data_Project p(1);
            p.SSID = "x";
            out << p << Data_WorkSet();
        }
        line->list_Data_Point.clear();

        QDataStream in(bytes);
        Data_Line l;
        Data_Sample one;
        Data_Project p;
        Data_WorkSet w;
        w.RecvCoil_Gain = 0;
        in >> l >> one >> p >> w;
        QCOMPARE(in.status(), QDataStream::Ok);
        QCOMPARE(l.NOTE, QString::fromUtf8("测线"));
        QCOMPARE(l.list_Data_Point.size(), 1);
        const auto& bp = l.list_Data_Point[0];
        QCOMPARE(bp->NAME, 12.0);
        QCOMPARE(bp->Data_LineID->ID, 3);
        QCOMPARE(bp->list_Data_Sample.size(), 1);
        QCOMPARE(bp->list_Data_Sample[0]->DATA_RECV, s->DATA_RECV);
        QCOMPARE(bp->list_Data_Sample[0]->Data_PointID->ID, 4);
        QCOMPARE(one.PERIOD, 500);
        QCOMPARE(one.StartTime, s->StartTime);
        QCOMPARE(p.SSID, QStringLiteral("x"));
        QCOMPARE(w.RecvCoil_Gain, 11.0);
    }
};

QTEST_GUILESS_MAIN(TestData)
#include "tst_data.moc"
