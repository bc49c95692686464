// The object-relational layer on its own, with classes of the test's own.
#include "Orm.h"

#include <QtTest>

#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>

#include <atomic>

class T_Item;

class T_Owner
{
public:
    virtual ~T_Owner() = default;
    int ID = 0;
    QString Title;
    double Weight = 0;
    int Count = 0;
    qint64 Stamp = 0;
    QByteArray Payload;
    QVector<std::shared_ptr<T_Item>> list_T_Item;
};

class T_Leaf;

class T_Item
{
public:
    virtual ~T_Item() = default;
    int ID = 0;
    QString Label;
    int Rank = 0;
    double Size = 0;
    std::shared_ptr<T_Owner> T_OwnerID;
    QVector<std::shared_ptr<T_Leaf>> list_T_Leaf;
};

class T_Leaf
{
public:
    virtual ~T_Leaf() = default;
    int ID = 0;
    double Value = 0;
    int Flag = 0;
    QString Text;
    std::shared_ptr<T_Item> T_ItemID;
};

// Names that are SQL words: a table "Group" of entries in a table "Check".
class T_Check;

class T_Group
{
public:
    virtual ~T_Group() = default;
    int ID = 0;
    int Order = 0;
    QString Default;
    QVector<std::shared_ptr<T_Check>> list_Check;
};

class T_Check
{
public:
    virtual ~T_Check() = default;
    int ID = 0;
    double Values = 0;
    std::shared_ptr<T_Group> Group;
};

ORM_DECLARE_CLASS(T_Owner)
ORM_DECLARE_CLASS(T_Item)
ORM_DECLARE_CLASS(T_Leaf)
ORM_DECLARE_CLASS(T_Group)
ORM_DECLARE_CLASS(T_Check)

namespace orm {
template <> void register_class<T_Owner>(ClassBuilder<T_Owner>& t)
{
    t.setName("T_Owner");
    t.id(&T_Owner::ID, "ID").setProperty("INDEX", 1);
    t.data(&T_Owner::Title, "Title");
    t.data(&T_Owner::Weight, "Weight");
    t.oneToMany(&T_Owner::list_T_Item, "list_T_Item", "T_OwnerID");
    t.data(&T_Owner::Count, "Count");
    t.data(&T_Owner::Stamp, "Stamp");
    t.data(&T_Owner::Payload, "Payload");
}
template <> void register_class<T_Item>(ClassBuilder<T_Item>& t)
{
    t.setName("T_Item");
    t.id(&T_Item::ID, "ID");
    t.data(&T_Item::Label, "Label");
    t.data(&T_Item::Rank, "Rank");
    t.manyToOne(&T_Item::T_OwnerID, "T_OwnerID");
    t.oneToMany(&T_Item::list_T_Leaf, "list_T_Leaf", "T_ItemID");
    t.data(&T_Item::Size, "Size");
}
template <> void register_class<T_Leaf>(ClassBuilder<T_Leaf>& t)
{
    t.setName("T_Leaf");
    t.id(&T_Leaf::ID, "ID");
    t.data(&T_Leaf::Value, "Value");
    t.data(&T_Leaf::Flag, "Flag");
    t.data(&T_Leaf::Text, "Text");
    t.manyToOne(&T_Leaf::T_ItemID, "T_ItemID");
}
template <> void register_class<T_Group>(ClassBuilder<T_Group>& t)
{
    t.setName("Group");
    t.id(&T_Group::ID, "ID");
    t.data(&T_Group::Order, "Order");
    t.data(&T_Group::Default, "Default");
    t.oneToMany(&T_Group::list_Check, "list_Check", "Group");
}
template <> void register_class<T_Check>(ClassBuilder<T_Check>& t)
{
    t.setName("Check");
    t.id(&T_Check::ID, "ID");
    t.data(&T_Check::Values, "Values");
    t.manyToOne(&T_Check::Group, "Group");
}
} // namespace orm

static orm::FactoryEntry<T_Owner> s_owner("T_Owner");
static orm::FactoryEntry<T_Item> s_item("T_Item");
static orm::FactoryEntry<T_Leaf> s_leaf("T_Leaf");

using OwnerPtr = std::shared_ptr<T_Owner>;
using ItemPtr = std::shared_ptr<T_Item>;
using LeafPtr = std::shared_ptr<T_Leaf>;

static QStringList columnsOf(const QSqlDatabase& db, const QString& table, QStringList* types = nullptr)
{
    QSqlQuery q(db);
    q.exec(QStringLiteral("SELECT name, type FROM pragma_table_info('%1') ORDER BY cid").arg(table));
    QStringList names;
    while (q.next()) {
        names << q.value(0).toString();
        if (types)
            *types << q.value(1).toString();
    }
    return names;
}

class TestOrm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;

    // A fresh database file with the three tables, as the thread's connection.
    QString openFresh()
    {
        orm::Database::clearAllDatabases();
        const QString path = m_dir.filePath(QStringLiteral("db%1.sqlite").arg(++m_files));
        orm::Database::setDatabaseName(path);
        QSqlError e = orm::dao::create_table<T_Owner>();
        if (!e.isValid())
            e = orm::dao::create_table<T_Item>();
        if (!e.isValid())
            e = orm::dao::create_table<T_Leaf>();
        if (e.isValid())
            qWarning() << e.text();
        return path;
    }

    static OwnerPtr owner(const QString& title, double weight)
    {
        auto o = std::make_shared<T_Owner>();
        o->Title = title;
        o->Weight = weight;
        o->Count = 7;
        o->Stamp = 1700000000123LL;
        o->Payload = QByteArray("\x01\x02\x00\x03", 4);
        return o;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        orm::Database::setDriverName(QStringLiteral("QSQLITE"));
    }

    void cleanup()
    {
        orm::SqlTypes::remove(QStringLiteral("double"));
        orm::Database::setTraceSqlQuery(false);
    }

    void registrationAndRegistry()
    {
        const orm::ClassInfo& c = orm::classInfo<T_Owner>();
        QCOMPARE(c.name(), QStringLiteral("T_Owner"));
        QStringList columns, types;
        for (const orm::Member* m : c.columns()) {
            columns << m->name;
            types << m->typeName;
        }
        // One-to-many relations own no column, wherever they were registered.
        QCOMPARE(columns, (QStringList{"ID", "Title", "Weight", "Count", "Stamp", "Payload"}));
        QCOMPARE(types, (QStringList{"int", "QString", "double", "int", "long long", "QByteArray"}));
        QCOMPARE(c.members().size(), size_t(7));
        QCOMPARE(c.idMember()->properties.value("INDEX"), QVariant(1));
        QVERIFY(!orm::classInfo<T_Item>().idMember()->properties.contains("INDEX"));

        const QStringList names = orm::ClassRegistry::names();
        for (const char* n : {"T_Owner", "T_Item", "T_Leaf"})
            QVERIFY(names.contains(n));
        QCOMPARE(orm::ClassRegistry::find("T_Item"), &orm::classInfo<T_Item>());
        QVERIFY(!orm::ClassRegistry::find("T_Nothing"));
        auto made = std::static_pointer_cast<T_Leaf>(orm::ClassRegistry::create("T_Leaf"));
        QVERIFY(made);
        QCOMPARE(made->ID, 0);
        QVERIFY(!orm::ClassRegistry::create("T_Nothing"));
        orm::ClassRegistry::add("T_Owner", &orm::classInfo<T_Owner>); // again: no second entry
        QCOMPARE(orm::ClassRegistry::names().count("T_Owner"), 1);
        QCOMPARE(orm::ClassRegistry::allClasses().size(), orm::ClassRegistry::names().size());
    }

    void createdColumnsFollowTheTypeMapAtStatementTime()
    {
        openFresh(); // tables made with the built-in types
        QSqlDatabase db = orm::Database::getDatabase();
        QStringList types;
        QCOMPARE(columnsOf(db, "T_Item", &types), (QStringList{"ID", "Label", "Rank", "T_OwnerID", "Size"}));
        QCOMPARE(types, (QStringList{"INTEGER", "TEXT", "INTEGER", "INTEGER", "FLOAT"}));

        // The map is read when the statement is made, after registration.
        orm::SqlTypes::set("double", "REAL");
        QCOMPARE(orm::SqlTypes::sqlType(*orm::classInfo<T_Owner>().member("Weight")), QStringLiteral("REAL"));
        db = QSqlDatabase();
        openFresh();
        db = orm::Database::getDatabase();
        types.clear();
        QCOMPARE(columnsOf(db, "T_Owner", &types), (QStringList{"ID", "Title", "Weight", "Count", "Stamp", "Payload"}));
        QCOMPARE(types, (QStringList{"INTEGER", "TEXT", "REAL", "INTEGER", "INTEGER", "BLOB"}));
        // An existing table is the driver's error.
        QVERIFY(orm::dao::create_table<T_Owner>().isValid());
    }

    void insertFetchAndColumnChoices()
    {
        openFresh();
        OwnerPtr a = owner("first", 1.5);
        QVERIFY(!orm::dao::insert(*a).isValid());
        OwnerPtr b = owner(QString::fromUtf8("第二"), 2.5);
        QVERIFY(!orm::dao::insert(*b).isValid());
        QCOMPARE(a->ID, 1);
        QCOMPARE(b->ID, 2);

        T_Owner all;
        all.ID = 2;
        QVERIFY(!orm::dao::fetch_by_id(all).isValid());
        QCOMPARE(all.Title, QString::fromUtf8("第二"));
        QCOMPARE(all.Weight, 2.5);
        QCOMPARE(all.Stamp, 1700000000123LL);
        QCOMPARE(all.Payload, QByteArray("\x01\x02\x00\x03", 4));

        // A column list writes only those members (and ID).
        T_Owner some;
        some.ID = 1;
        some.Title = "keep";
        some.Count = -3;
        QVERIFY(!orm::dao::fetch_by_id(some, nullptr, {"Weight", "Stamp"}).isValid());
        QCOMPARE(some.Weight, 1.5);
        QCOMPARE(some.Stamp, 1700000000123LL);
        QCOMPARE(some.Title, QStringLiteral("keep"));
        QCOMPARE(some.Count, -3);

        // All but the excluded columns; the text form does the same.
        T_Owner except;
        except.ID = 1;
        except.Title = "untouched";
        QVERIFY(!orm::dao::fetch_by_id_except(except, {"Title"}).isValid());
        QCOMPARE(except.Title, QStringLiteral("untouched"));
        QCOMPARE(except.Count, 7);
        T_Owner except2;
        except2.ID = 1;
        QVERIFY(!orm::dao::fetch_by_id_with_relation("-{ Title, Payload }", except2).isValid());
        QVERIFY(except2.Title.isEmpty());
        QVERIFY(except2.Payload.isEmpty());
        QCOMPARE(except2.Weight, 1.5);

        // A missing row, or a column the class lacks, is an error.
        T_Owner missing;
        missing.ID = 99;
        missing.Title = "as before";
        QVERIFY(orm::dao::fetch_by_id(missing).isValid());
        QVERIFY(orm::dao::fetch_by_id_with_relation("-{ Title }", missing).isValid());
        QCOMPARE(missing.Title, QStringLiteral("as before"));
        QVERIFY(orm::dao::fetch_by_id(some, nullptr, {"NoSuchColumn"}).isValid());
        QVERIFY(orm::dao::fetch_by_id(some, nullptr, {"list_T_Item"}).isValid());

        // Several objects through one statement: a missing row in between is
        // the error returned, and the objects after it are still read.
        T_Owner first, gap, second;
        first.ID = 1;
        gap.ID = 99;
        gap.Weight = -1;
        second.ID = 2;
        second.Title = "kept";
        const QSqlError batch = orm::dao::fetch_by_ids(QVector<T_Owner*>{&first, &gap, &second}, nullptr, {"Weight"});
        QVERIFY(batch.isValid());
        QVERIFY(batch.text().contains("99"));
        QCOMPARE(first.Weight, 1.5);
        QCOMPARE(gap.Weight, -1.0);
        QCOMPARE(second.Weight, 2.5);
        QCOMPARE(second.Title, QStringLiteral("kept"));
        QVERIFY(!orm::dao::fetch_by_ids(QVector<T_Owner*>{&first, &second}).isValid());
        QCOMPARE(second.Title, QString::fromUtf8("第二"));
    }

    void emptyValuesAreStoredEmptyNotNull()
    {
        openFresh();
        T_Owner o; // empty title and payload
        QVERIFY(!orm::dao::insert(o).isValid());
        QSqlQuery q(orm::Database::getDatabase());
        QVERIFY(q.exec("SELECT typeof(Title), typeof(Payload), length(Payload) FROM T_Owner"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("text"));
        QCOMPARE(q.value(1).toString(), QStringLiteral("blob"));
        QCOMPARE(q.value(2).toInt(), 0);
    }

    void updateOfAColumnSubsetLeavesTheOthers()
    {
        openFresh();
        OwnerPtr a = owner("stored", 4.25);
        QVERIFY(!orm::dao::insert(*a).isValid());

        // A partly loaded object: only ID and Count are meaningful.
        T_Owner light;
        light.ID = a->ID;
        light.Count = 42;
        QVERIFY(!orm::dao::update(light, nullptr, {"Count"}).isValid());
        T_Owner back;
        back.ID = a->ID;
        QVERIFY(!orm::dao::fetch_by_id(back).isValid());
        QCOMPARE(back.Count, 42);
        QCOMPARE(back.Title, QStringLiteral("stored"));
        QCOMPARE(back.Weight, 4.25);
        QCOMPARE(back.Payload, a->Payload);

        // A full update writes every column.
        QVERIFY(!orm::dao::update(light).isValid());
        QVERIFY(!orm::dao::fetch_by_id(back).isValid());
        QVERIFY(back.Title.isEmpty());
        QVERIFY(back.Payload.isEmpty());
        QVERIFY(orm::dao::update(light, nullptr, {"Nope"}).isValid());
    }

    void manyToOneHoldsTheParentId()
    {
        openFresh();
        OwnerPtr o = owner("o", 1);
        QVERIFY(!orm::dao::insert(*o).isValid());
        T_Item item;
        item.T_OwnerID = o;
        QVERIFY(!orm::dao::insert(item).isValid());
        T_Item orphan;
        QVERIFY(!orm::dao::insert(orphan).isValid());
        QSqlQuery q(orm::Database::getDatabase());
        QVERIFY(q.exec("SELECT T_OwnerID FROM T_Item ORDER BY ID"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), o->ID);
        QVERIFY(q.next());
        QVERIFY(q.value(0).isNull());
        q.finish();

        // Reading keeps a parent object that has the ID, else makes an ID-only one.
        T_Item back;
        back.ID = item.ID;
        back.T_OwnerID = o;
        QVERIFY(!orm::dao::fetch_by_id(back).isValid());
        QCOMPARE(back.T_OwnerID, o);
        back.T_OwnerID = std::make_shared<T_Owner>();
        QVERIFY(!orm::dao::fetch_by_id(back).isValid());
        QVERIFY(back.T_OwnerID != o);
        QCOMPARE(back.T_OwnerID->ID, o->ID);
        QVERIFY(back.T_OwnerID->Title.isEmpty());
        T_Item none;
        none.ID = orphan.ID;
        none.T_OwnerID = o;
        QVERIFY(!orm::dao::fetch_by_id(none).isValid());
        QVERIFY(!none.T_OwnerID);
    }

    // Owners -> items (aliased, ordered by the query tail) -> leaves (light).
    void nestedRelationFetch()
    {
        openFresh();
        QSqlDatabase db = orm::Database::getDatabase();
        QVector<OwnerPtr> owners{owner("a", 1), owner("b", 2), owner("c", 3)};
        for (auto& o : owners)
            QVERIFY(!orm::dao::insert(*o, &db).isValid());
        // Items of owner a saved out of rank order; owner b gets none.
        const QVector<QPair<int, int>> items{{0, 30}, {2, 5}, {0, 10}, {0, 20}};
        QVector<ItemPtr> saved;
        for (const auto& it : items) {
            auto item = std::make_shared<T_Item>();
            item->Rank = it.second;
            item->Label = QString::number(it.second);
            item->T_OwnerID = owners[it.first];
            QVERIFY(!orm::dao::insert(*item, &db).isValid());
            saved << item;
        }
        for (int i = 0; i < 3; ++i) {
            T_Leaf leaf;
            leaf.Value = 0.5 + i;
            leaf.Flag = i;
            leaf.Text = "not fetched";
            leaf.T_ItemID = saved[0]; // rank 30
            QVERIFY(!orm::dao::insert(leaf, &db).isValid());
        }

        QVector<OwnerPtr> fetched;
        const orm::Query order("Items_alias", "ORDER BY Items_alias.T_OwnerID ASC,Items_alias.Rank ASC");
        QSqlError e = orm::dao::fetch_all_with_relation("list_T_Item <Items_alias> -> list_T_Leaf{Value,Flag}",
                                                        fetched, order);
        QVERIFY2(!e.isValid(), qPrintable(e.text()));
        QCOMPARE(fetched.size(), 3);
        QCOMPARE(fetched[0]->Title, QStringLiteral("a"));
        QCOMPARE(fetched[2]->Weight, 3.0);
        QVERIFY(fetched[1]->list_T_Item.isEmpty()); // kept with an empty list
        const auto& aItems = fetched[0]->list_T_Item;
        QCOMPARE(aItems.size(), 3);
        QCOMPARE(aItems[0]->Rank, 10);
        QCOMPARE(aItems[1]->Rank, 20);
        QCOMPARE(aItems[2]->Rank, 30);
        QCOMPARE(aItems[2]->Label, QStringLiteral("30"));
        QCOMPARE(aItems[2]->T_OwnerID->ID, fetched[0]->ID);
        QCOMPARE(fetched[2]->list_T_Item.size(), 1);
        const auto& leaves = aItems[2]->list_T_Leaf;
        QCOMPARE(leaves.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(leaves[i]->Value, 0.5 + i);
            QCOMPARE(leaves[i]->Flag, i);
            QVERIFY(leaves[i]->Text.isEmpty()); // not among the fetched columns
            QVERIFY(!leaves[i]->T_ItemID);
        }
        QVERIFY(aItems[0]->list_T_Leaf.isEmpty());

        // Without the ordering, items come in ID (save) order.
        fetched.clear();
        QVERIFY(!orm::dao::fetch_all_with_relation("list_T_Item -> list_T_Leaf{Value}", fetched).isValid());
        QCOMPARE(fetched[0]->list_T_Item[0]->Rank, 30);
        QCOMPARE(fetched[0]->list_T_Item[1]->Rank, 10);

        // The same relation below one root row, and a root that fetches with
        // a where query: both only read that root's children.
        T_Owner one;
        one.ID = owners[0]->ID;
        QVERIFY(!orm::dao::fetch_by_id_with_relation("list_T_Item{Rank}", one).isValid());
        QCOMPARE(one.list_T_Item.size(), 3);
        QVERIFY(one.list_T_Item[0]->Label.isEmpty());

        QVector<ItemPtr> lightItems;
        orm::Query byOwner;
        byOwner.where("T_Item.T_OwnerID").isEqualTo(owners[0]->ID);
        e = orm::dao::fetch_by_query_with_relation({"{Rank}", "list_T_Leaf{Value}"}, byOwner, lightItems);
        QVERIFY2(!e.isValid(), qPrintable(e.text()));
        QCOMPARE(lightItems.size(), 3);
        QCOMPARE(lightItems[0]->Rank, 30);
        QVERIFY(lightItems[0]->Label.isEmpty());
        QVERIFY(!lightItems[0]->T_OwnerID);
        QCOMPARE(lightItems[0]->list_T_Leaf.size(), 3);

        // Unreadable texts and unknown relations or aliases are errors.
        QVERIFY(orm::dao::fetch_all_with_relation("list_Nothing", fetched).isValid());
        QVERIFY(orm::dao::fetch_all_with_relation("list_T_Item{", fetched).isValid());
        QVERIFY(orm::dao::fetch_all_with_relation("list_T_Item", fetched, orm::Query("Nope", "ORDER BY 1")).isValid());
    }

    void transactionsAndExplicitConnections()
    {
        openFresh();
        QSqlDatabase db = orm::Database::getDatabase();
        QVERIFY(db.transaction());
        OwnerPtr a = owner("in transaction", 1);
        QVERIFY(!orm::dao::insert(*a).isValid());        // thread's connection
        T_Item item;
        item.T_OwnerID = a;
        QVERIFY(!orm::dao::insert(item, &db).isValid()); // explicit, same connection
        // Both see the uncommitted rows.
        T_Owner seen;
        seen.ID = a->ID;
        QVERIFY(!orm::dao::fetch_by_id(seen, &db).isValid());
        QCOMPARE(seen.Title, QStringLiteral("in transaction"));
        QVector<OwnerPtr> all;
        QVERIFY(!orm::dao::fetch_all_with_relation("list_T_Item", all).isValid());
        QCOMPARE(all.size(), 1);
        QCOMPARE(all[0]->list_T_Item.size(), 1);
        all.clear();
        QVERIFY(db.rollback());
        QVERIFY(orm::dao::fetch_by_id(seen).isValid());
        QSqlQuery q(db);
        QVERIFY(q.exec("SELECT COUNT(*) FROM T_Owner"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 0);
        q.finish();

        {
            orm::Transaction t;
            QVERIFY(t.isActive());
            QVERIFY(!orm::dao::insert(*owner("committed", 2)).isValid());
            QVERIFY(t.commit());
        }
        {
            orm::Transaction t;
            QVERIFY(!orm::dao::insert(*owner("dropped", 3)).isValid());
        } // rolled back unless committed
        QVERIFY(q.exec("SELECT Title FROM T_Owner"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("committed"));
        QVERIFY(!q.next());
    }

    // A commit the database refuses (here a deferred foreign key) must not
    // leave the connection inside the transaction, where later writes would
    // never be committed.
    void refusedCommitEndsTheTransaction()
    {
        openFresh();
        QSqlDatabase db = orm::Database::getDatabase();
        QSqlQuery q(db);
        QVERIFY(q.exec("PRAGMA foreign_keys = ON"));
        QVERIFY(q.exec("CREATE TABLE Parent (ID INTEGER PRIMARY KEY)"));
        QVERIFY(q.exec("CREATE TABLE Child (ID INTEGER PRIMARY KEY, "
                       "ParentID INTEGER REFERENCES Parent(ID) DEFERRABLE INITIALLY DEFERRED)"));
        {
            orm::Transaction t;
            QVERIFY(t.isActive());
            QVERIFY(q.exec("INSERT INTO Child (ParentID) VALUES (99)"));
            QVERIFY(!t.commit());
        }
        QVERIFY2(db.transaction(), qPrintable(db.lastError().text()));
        QVERIFY(db.rollback());
        QVERIFY(q.exec("SELECT COUNT(*) FROM Child"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 0);
    }

    void everyThreadHasItsOwnConnection()
    {
        const QString first = openFresh();
        QVERIFY(!orm::dao::insert(*owner("file one", 1)).isValid());
        const QString mainName = orm::Database::getDatabase().connectionName();

        auto readOnThread = [](QString* title, QString* connection, QString* fileName) {
            QThread* t = QThread::create([=] {
                QSqlDatabase db = orm::Database::getDatabase();
                *connection = db.connectionName();
                *fileName = db.databaseName();
                T_Owner o;
                o.ID = 1;
                const QSqlError e = orm::dao::fetch_by_id(o);
                *title = e.isValid() ? QStringLiteral("error: ") + e.text() : o.Title;
                db = QSqlDatabase();
                orm::Database::closeThreadDatabase();
            });
            t->start();
            const bool done = t->wait(20000);
            delete t;
            return done;
        };
        QString title, connection, file;
        QVERIFY(readOnThread(&title, &connection, &file));
        QCOMPARE(title, QStringLiteral("file one"));
        QVERIFY(connection != mainName);
        QVERIFY(!QSqlDatabase::contains(connection));   // closed by the thread before it ended

        // A pool thread keeps its connection and follows a switch of file on
        // its next use.
        std::atomic<int> step{0};
        QString seen1, seen2;
        QThreadPool::globalInstance()->start(QRunnable::create([&] {
            T_Owner o;
            o.ID = 1;
            orm::dao::fetch_by_id(o);
            seen1 = o.Title;
            step = 1;
            while (step.load() != 2)
                QThread::msleep(1);
            T_Owner p;
            p.ID = 1;
            const QSqlError e = orm::dao::fetch_by_id(p);
            seen2 = e.isValid() ? QStringLiteral("error") : p.Title;
            orm::Database::closeThreadDatabase();
            step = 3;
        }));
        QTRY_COMPARE_WITH_TIMEOUT(step.load(), 1, 20000);
        QCOMPARE(seen1, QStringLiteral("file one"));
        const QString second = openFresh();
        QVERIFY(second != first);
        QVERIFY(!orm::dao::insert(*owner("file two", 2)).isValid());
        step = 2;
        QTRY_COMPARE_WITH_TIMEOUT(step.load(), 3, 20000);
        QVERIFY(QThreadPool::globalInstance()->waitForDone(20000));
        QCOMPARE(seen2, QStringLiteral("file two"));

        // Same settings again: the thread keeps its open connection.
        const QString before = orm::Database::getDatabase().connectionName();
        orm::Database::setDatabaseName(second);
        QCOMPARE(orm::Database::getDatabase().connectionName(), before);
        orm::Database::clearAllDatabases();
        QVERIFY(!QSqlDatabase::contains(before));
        QVERIFY(orm::Database::getDatabase().connectionName() != before);
        const QString current = orm::Database::getDatabase().connectionName();
        QCOMPARE(orm::Database::connectionNames(), QStringList{current});
    }

    // A thread's connection ends while the program runs, never at the
    // thread's exit: a pool thread's exit can come after main has returned.
    void connectionsEndWhileTheProgramRuns()
    {
        openFresh();
        QVERIFY(!orm::dao::insert(*owner("kept", 1)).isValid());
        const QString mainName = orm::Database::getDatabase().connectionName();
        static QStringList warnings;
        warnings.clear();
        QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
            if (type != QtDebugMsg && type != QtInfoMsg)
                warnings << msg;
        });

        // A task that closes its thread's connection at its end leaves none
        // behind, and the others' stay as they were.
        QString poolName;
        QString poolTitle;
        bool poolClosed = false;
        QThreadPool::globalInstance()->start(QRunnable::create([&] {
            poolName = orm::Database::getDatabase().connectionName();
            T_Owner o;
            o.ID = 1;
            orm::dao::fetch_by_id(o);
            poolTitle = o.Title;
            orm::Database::closeThreadDatabase();
            poolClosed = !QSqlDatabase::contains(poolName);
        }));
        QVERIFY(QThreadPool::globalInstance()->waitForDone(20000));
        QCOMPARE(poolTitle, QStringLiteral("kept"));
        QVERIFY(!poolName.isEmpty() && poolName != mainName);
        QVERIFY(poolClosed);
        QCOMPARE(orm::Database::connectionNames(), QStringList{mainName});
        QCOMPARE(orm::Database::getDatabase().connectionName(), mainName);

        // A closed thread's next use opens a new connection.
        orm::Database::closeThreadDatabase();
        QVERIFY(!QSqlDatabase::contains(mainName));
        QVERIFY(orm::Database::connectionNames().isEmpty());
        const QString reopened = orm::Database::getDatabase().connectionName();
        QVERIFY(reopened != mainName);
        T_Owner o;
        o.ID = 1;
        QVERIFY(!orm::dao::fetch_by_id(o).isValid());
        QCOMPARE(o.Title, QStringLiteral("kept"));

        // A thread that ends without closing its connection leaves it open:
        // its exit does not reach Qt Sql. The program's end closes it from
        // here, with this thread's own.
        QString leftName;
        QThread* t = QThread::create([&] { leftName = orm::Database::getDatabase().connectionName(); });
        t->start();
        QVERIFY(t->wait(20000));
        delete t;
        QThreadPool::globalInstance()->start(QRunnable::create([] { orm::Database::getDatabase(); }));
        QVERIFY(QThreadPool::globalInstance()->waitForDone(20000));
        QVERIFY(QSqlDatabase::contains(leftName));
        QCOMPARE(orm::Database::connectionNames().size(), 3);
        orm::Database::closeAllDatabases();
        QVERIFY(orm::Database::connectionNames().isEmpty());

        // Everything opens again afterwards, on every thread.
        T_Owner p;
        p.ID = 1;
        QVERIFY(!orm::dao::fetch_by_id(p).isValid());
        QCOMPARE(p.Title, QStringLiteral("kept"));
        QString again;
        QThreadPool::globalInstance()->start(QRunnable::create([&] {
            T_Owner q;
            q.ID = 1;
            again = orm::dao::fetch_by_id(q).isValid() ? QStringLiteral("error") : q.Title;
            orm::Database::closeThreadDatabase();
        }));
        QVERIFY(QThreadPool::globalInstance()->waitForDone(20000));
        QCOMPARE(again, QStringLiteral("kept"));
        const QString current = orm::Database::getDatabase().connectionName();
        QCOMPARE(orm::Database::connectionNames(), QStringList{current});

        qInstallMessageHandler(previous);
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(QLatin1Char('\n'))));
    }

    // Tables and columns named like SQL words work through every statement.
    void namesThatAreSqlWords()
    {
        openFresh();
        QSqlError e = orm::dao::create_table<T_Group>();
        QVERIFY2(!e.isValid(), qPrintable(e.text()));
        e = orm::dao::create_table<T_Check>();
        QVERIFY2(!e.isValid(), qPrintable(e.text()));
        QSqlDatabase db = orm::Database::getDatabase();
        QCOMPARE(columnsOf(db, "Check"), (QStringList{"ID", "Values", "Group"}));
        db = QSqlDatabase();

        auto g = std::make_shared<T_Group>();
        g->Order = 3;
        g->Default = "first";
        QVERIFY(!orm::dao::insert(*g).isValid());
        for (double v : {2.5, 1.5}) {
            T_Check c;
            c.Values = v;
            c.Group = g;
            e = orm::dao::insert(c);
            QVERIFY2(!e.isValid(), qPrintable(e.text()));
        }
        g->Order = 4;
        e = orm::dao::update(*g, nullptr, {"Order"});
        QVERIFY2(!e.isValid(), qPrintable(e.text()));

        T_Group back;
        back.ID = g->ID;
        e = orm::dao::fetch_by_id(back);
        QVERIFY2(!e.isValid(), qPrintable(e.text()));
        QCOMPARE(back.Order, 4);
        QCOMPARE(back.Default, QStringLiteral("first"));

        QVector<std::shared_ptr<T_Group>> groups;
        e = orm::dao::fetch_all_with_relation("list_Check{Values}", groups);
        QVERIFY2(!e.isValid(), qPrintable(e.text()));
        QCOMPARE(groups.size(), 1);
        QCOMPARE(groups[0]->list_Check.size(), 2);
        QCOMPARE(groups[0]->list_Check[1]->Values, 1.5);
        T_Group one;
        one.ID = g->ID;
        e = orm::dao::fetch_by_id_with_relation("list_Check", one);
        QVERIFY2(!e.isValid(), qPrintable(e.text()));
        QCOMPARE(one.list_Check.size(), 2);
        QCOMPARE(one.list_Check[0]->Group->ID, g->ID);
        groups.clear();
    }

    void driverErrorTextPassesThrough()
    {
        const QString path = m_dir.filePath("damaged.sqlite");
        {
            orm::Database::clearAllDatabases();
            orm::Database::setDatabaseName(path);
            QVERIFY(!orm::dao::create_table<T_Owner>().isValid());
            QVERIFY(!orm::dao::insert(*owner("x", 1)).isValid());
            orm::Database::clearAllDatabases();
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        QVERIFY(bytes.size() > 4096);
        for (int i = 100; i < 4096; ++i) // the schema page, past the file header
            bytes[i] = char(0xFF);
        f.seek(0);
        f.write(bytes);
        f.close();
        const QSqlError e = orm::dao::create_table<T_Item>();
        QVERIFY(e.isValid());
        QVERIFY2(e.databaseText().contains("malformed"), qPrintable(e.databaseText()));
        orm::Database::clearAllDatabases();

        // A file that cannot be opened reports the driver's open error.
        orm::Database::setDatabaseName(m_dir.filePath("no/such/dir/x.sqlite"));
        QSqlError openError;
        QVERIFY(!orm::Database::getDatabase(&openError).isOpen());
        QVERIFY(openError.isValid());
        QVERIFY(orm::dao::create_table<T_Owner>().isValid());
    }

    void statementsAreLoggedWhenSwitchedOn()
    {
        openFresh();
        QLoggingCategory::setFilterRules(QStringLiteral("vodez.orm.sql.debug=true"));
        static QStringList logged;
        logged.clear();
        QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext& ctx, const QString& msg) {
            if (QByteArray(ctx.category) == "vodez.orm.sql")
                logged << msg;
        });
        T_Owner o;
        orm::dao::insert(o);
        const int quiet = logged.size();
        orm::Database::setTraceSqlQuery(true);
        orm::Database::setFormatSqlQueryBeforeLogging(true);
        orm::Database::setDisplayTimerDetails(true);
        orm::dao::fetch_by_id(o);
        orm::Database::setTraceSqlQuery(false);
        orm::dao::fetch_by_id(o);
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
        orm::Database::setFormatSqlQueryBeforeLogging(false);
        orm::Database::setDisplayTimerDetails(false);
        QCOMPARE(quiet, 0);
        QCOMPARE(logged.size(), 1);
        QVERIFY(logged[0].contains("SELECT T_Owner.ID"));
        QVERIFY(logged[0].contains("\n  FROM T_Owner"));
        QVERIFY(logged[0].contains("exec "));
    }

    void streamRoundTripWritesParentsAsIds()
    {
        // An object cycle: the owner lists the item, the item refers to the owner.
        auto o = owner("cyclic", 9.5);
        o->ID = 5;
        auto item = std::make_shared<T_Item>();
        item->ID = 11;
        item->Label = "child";
        item->T_OwnerID = o;
        auto leaf = std::make_shared<T_Leaf>();
        leaf->ID = 12;
        leaf->Value = -1.25;
        leaf->T_ItemID = item;
        item->list_T_Leaf << leaf;
        o->list_T_Item << item << nullptr;

        QByteArray bytes;
        {
            QDataStream out(&bytes, QIODevice::WriteOnly);
            orm::save(out, *o);
        }
        T_Owner back;
        {
            QDataStream in(bytes);
            orm::load(in, back);
            QCOMPARE(in.status(), QDataStream::Ok);
            QVERIFY(in.atEnd());
        }
        QCOMPARE(back.ID, 5);
        QCOMPARE(back.Title, QStringLiteral("cyclic"));
        QCOMPARE(back.Stamp, o->Stamp);
        QCOMPARE(back.Payload, o->Payload);
        QCOMPARE(back.list_T_Item.size(), 2);
        QVERIFY(!back.list_T_Item[1]);
        const ItemPtr& bi = back.list_T_Item[0];
        QCOMPARE(bi->Label, QStringLiteral("child"));
        QCOMPARE(bi->T_OwnerID->ID, 5);
        QVERIFY(bi->T_OwnerID->list_T_Item.isEmpty()); // the ID only
        QCOMPARE(bi->list_T_Leaf.size(), 1);
        QCOMPARE(bi->list_T_Leaf[0]->Value, -1.25);
        QCOMPARE(bi->list_T_Leaf[0]->T_ItemID->ID, 11);
        o->list_T_Item.clear(); // break the cycle

        // Another class's bytes are refused.
        QDataStream wrong(bytes);
        T_Leaf notALeaf;
        orm::load(wrong, notALeaf);
        QCOMPARE(wrong.status(), QDataStream::ReadCorruptData);
    }
};

QTEST_GUILESS_MAIN(TestOrm)
#include "tst_orm.moc"
