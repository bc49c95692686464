// The project tree's export slots, reached by name through its meta-object
// as their callers reach them, on a project opened by the tree.
#include "ExportFixture.h"

#include "DataModel_Index.h"

#include "Data_Calc.h"

#include <QtTest>

#include <QTemporaryDir>

using namespace exportfixture;

class TestTreeExports : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    DataModel_Index* m_tree = nullptr;
    Data_Calc* m_calc = nullptr;

    QByteArray invoke(const char* slot)
    {
        QString text;
        QTextStream out(&text);
        out.setCodec("UTF-8");
        if (!QMetaObject::invokeMethod(m_tree, slot, Q_ARG(QTextStream&, out)))
            return "not invoked";
        out.flush();
        return text.toUtf8();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_calc = setUpExports(this);
        QLoggingCategory::setFilterRules(QStringLiteral("vodez.orm.sql.debug=false"));
        const QString path = m_dir.filePath(QStringLiteral("tree.VODEZ"));
        {
            Project project;
            QVERIFY(project.create(path));
        }
        m_tree = new DataModel_Index();
        QVERIFY(m_tree->openProject(path));
    }

    void cleanupTestCase() { delete m_tree; }

    void usf()
    {
        QSignalSpy progress(m_tree, &DataModel_Index::onExport);
        QCOMPARE(invoke("onExportData_USF"), expectedFile(QStringLiteral("project.usf")));
        QCOMPARE(progress.count(), 3);
        QCOMPARE(progress.last(), (QVariantList{4, 4}));
    }

    void listings()
    {
        QCOMPARE(invoke("onExportLog"), expectedFile(QStringLiteral("log.txt")));
        QCOMPARE(invoke("onExportPointTime"), expectedFile(QStringLiteral("pointtime.txt")));
    }

    void dumpNeedsTheDecayProcessor()
    {
        QString text;
        QTextStream out(&text);
        QSignalSpy progress(m_tree, &DataModel_Index::onExport);
        QVERIFY(QMetaObject::invokeMethod(m_tree, "onExportData", Q_ARG(QTextStream&, out), Q_ARG(int, 0),
                                          Q_ARG(int, 0)));
        out.flush();
        QVERIFY(text.isEmpty());
        QCOMPARE(progress.count(), 0);
        QVERIFY(!m_tree->exportDataFile(m_dir.filePath(QStringLiteral("dump.txt")), 0, 0));
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("dump.txt"))));

        // With one, the listing starts as the project does; the export type
        // is not read.
        m_tree->SetDataCalc(m_calc);
        QString a;
        QString b;
        QTextStream outA(&a);
        QTextStream outB(&b);
        m_tree->onExportData(outA, 0, 2);
        m_tree->onExportData(outB, 7, 2);
        outA.flush();
        outB.flush();
        QVERIFY(a.startsWith(QStringLiteral("Line : 10\nLine Note : first line\n")));
        QCOMPARE(a, b);
        QCOMPARE(progress.count(), 0);
    }

    void fileEntry()
    {
        const QString path = m_dir.filePath(QStringLiteral("out.usf"));
        QString error;
        QVERIFY(m_tree->exportUsfFile(path, &error));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), expectedTextFile(QStringLiteral("project.usf")));
        QVERIFY(!m_tree->exportUsfFile(m_dir.filePath(QStringLiteral("no/such/folder/out.usf")), &error));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_MAIN(TestTreeExports)
#include "tst_treeexports.moc"
