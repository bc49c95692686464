#include "DataClasses.h"

#include <QtTest>

class TestDataFactory : public QObject
{
    Q_OBJECT
private slots:
    void allFiveClassesAreEntered()
    {
        const QStringList wanted{"Data_Line", "Data_Point", "Data_Project", "Data_WorkSet", "Data_Sample"};
        // The static entries ran before main.
        QStringList names = orm::ClassRegistry::names();
        for (const QString& n : wanted)
            QVERIFY2(names.contains(n), qPrintable(n));
        initDataClasses();
        initDataClasses();
        names = orm::ClassRegistry::names();
        QCOMPARE(names.size(), 5);
        QStringList listed;
        for (const orm::ClassInfo* c : orm::ClassRegistry::allClasses())
            listed << c->name();
        listed.sort();
        QStringList sorted = wanted;
        sorted.sort();
        QCOMPARE(listed, sorted);
        for (const QString& n : wanted)
            QVERIFY(orm::ClassRegistry::create(n));
        QVERIFY(QMetaType::type("st_ProjectConfig") != QMetaType::UnknownType);
        QVERIFY(QMetaType::type("st_SampleData_Send") != QMetaType::UnknownType);
    }
};

QTEST_GUILESS_MAIN(TestDataFactory)
#include "tst_data_factory.moc"
