// The property binding: what each property type shows in each kind of
// widget at binding and after a change, what an edit writes back, the order
// in which several widgets of one property are refreshed, and what happens
// when a registered object or a bound widget goes away.

#include "HViewProxyManager.h"
#include "HViewProxyObject.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

class WatchedBase : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int Inherited MEMBER inherited NOTIFY inheritedChanged)
public:
    int inherited = 3;
signals:
    void inheritedChanged();
};

// Every setter emits only when the value changes.
class Watched : public WatchedBase
{
    Q_OBJECT
public:
    enum Mode { First = 0, Second = 1, Third = 2 };
    Q_ENUM(Mode)

    Q_PROPERTY(int Count MEMBER count NOTIFY onCountChanged)
    Q_PROPERTY(double Level MEMBER level NOTIFY onLevelChanged)
    Q_PROPERTY(float Gain MEMBER gain NOTIFY onGainChanged)
    Q_PROPERTY(bool Enabled MEMBER enabled NOTIFY onEnabledChanged)
    Q_PROPERTY(QString Name MEMBER name NOTIFY nameChanged)
    Q_PROPERTY(Mode State MEMBER state NOTIFY onStateChanged)
    Q_PROPERTY(int Quiet MEMBER quiet)

    int count = 7;
    double level = 1234567.0;
    float gain = 1.5f;
    bool enabled = true;
    QString name = QStringLiteral("abc");
    Mode state = Second;
    int quiet = 5;

signals:
    void onCountChanged();
    void onLevelChanged();
    void onGainChanged();
    void onEnabledChanged();
    void nameChanged(QString name);
    void onStateChanged();
};

namespace {

QWidget* makeWidget(const QString& kind, QWidget* parent)
{
    if (kind == QLatin1String("label"))
        return new QLabel(QStringLiteral("--"), parent);
    if (kind == QLatin1String("edit"))
        return new QLineEdit(QStringLiteral("--"), parent);
    if (kind == QLatin1String("combo")) {
        auto* combo = new QComboBox(parent);
        return combo;
    }
    if (kind == QLatin1String("fscombo")) {
        auto* combo = new QComboBox(parent);
        for (double v : {0.25, 1.0, 6.25, 1234567.5})
            combo->addItem(QString::number(v, 'g', 8), v);
        combo->setCurrentIndex(0);
        return combo;
    }
    if (kind == QLatin1String("check"))
        return new QCheckBox(parent);
    auto* button = new QPushButton(parent);
    button->setCheckable(kind == QLatin1String("toggle"));
    return button;
}

// What a widget shows, as one text.
QString shown(QWidget* w)
{
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->text();
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return edit->text();
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        return combo->currentText() + QLatin1Char('|') + items.join(QLatin1Char(','));
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        return button->isChecked() ? QStringLiteral("on") : QStringLiteral("off");
    return QString();
}

} // namespace

class TstBinding : public QObject
{
    Q_OBJECT

private slots:
    void shownAtBindAndAfterChange_data()
    {
        QTest::addColumn<QString>("property");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("bound");
        QTest::addColumn<QString>("atBind");
        QTest::addColumn<QVariant>("change");
        QTest::addColumn<QString>("afterChange");

        const QString fs = QStringLiteral("|0.25,1,6.25,1234567.5");
        QTest::newRow("int label") << "Count" << "label" << "" << true << "7" << QVariant(12) << "12";
        QTest::newRow("int label format") << "Count" << "label" << "%03d" << true << "007" << QVariant(12) << "012";
        QTest::newRow("int edit") << "Count" << "edit" << "" << true << "7" << QVariant(-4) << "-4";
        QTest::newRow("int combo") << "Count" << "combo" << "" << false << "|" << QVariant(12) << "|";
        // Without a format a double is cut to six digits at binding only.
        QTest::newRow("double label") << "Level" << "label" << "" << true << "1.23457e+06" << QVariant(1234567.5)
                                       << "1234567.5";
        QTest::newRow("double label format") << "Level" << "label" << "%.1f" << true << "1234567.0"
                                             << QVariant(2.26) << "2.3";
        QTest::newRow("double edit") << "Level" << "edit" << "%.6g" << true << "1.23457e+06" << QVariant(0.125)
                                     << "0.125";
        QTest::newRow("double combo format") << "Level" << "fscombo" << "%g" << true << "0.25" + fs
                                             << QVariant(6.25) << "6.25" + fs;
        QTest::newRow("double combo no format") << "Level" << "fscombo" << "" << true << "0.25" + fs
                                                << QVariant(1234567.5) << "1234567.5" + fs;
        QTest::newRow("double check") << "Level" << "check" << "" << false << "off" << QVariant(1.0) << "off";
        QTest::newRow("float label") << "Gain" << "label" << "" << false << "--" << QVariant(2.5f) << "--";
        QTest::newRow("bool check") << "Enabled" << "check" << "" << true << "on" << QVariant(false) << "off";
        QTest::newRow("bool toggle button") << "Enabled" << "toggle" << "" << true << "on" << QVariant(false)
                                            << "off";
        QTest::newRow("bool plain button") << "Enabled" << "button" << "" << true << "off" << QVariant(false)
                                           << "off";
        QTest::newRow("bool label") << "Enabled" << "label" << "" << false << "--" << QVariant(false) << "--";
        QTest::newRow("string label") << "Name" << "label" << "" << true << "abc" << QVariant("中文")
                                      << "中文";
        QTest::newRow("string edit") << "Name" << "edit" << "%d" << true << "abc" << QVariant("x y") << "x y";
        QTest::newRow("string combo") << "Name" << "combo" << "" << false << "|" << QVariant("x") << "|";
        QTest::newRow("enum combo") << "State" << "combo" << "" << true << "Second|First,Second,Third"
                                    << QVariant::fromValue(Watched::Third) << "Third|First,Second,Third";
        QTest::newRow("enum label") << "State" << "label" << "" << false << "--"
                                    << QVariant::fromValue(Watched::Third) << "--";
        QTest::newRow("inherited") << "Inherited" << "label" << "" << false << "--" << QVariant(9) << "--";
        QTest::newRow("objectName") << "objectName" << "label" << "" << false << "--" << QVariant("other")
                                    << "--";
        QTest::newRow("no notify") << "Quiet" << "label" << "" << true << "5" << QVariant(6) << "5";
        QTest::newRow("not a property") << "Missing" << "label" << "" << false << "--" << QVariant() << "--";
    }

    void shownAtBindAndAfterChange()
    {
        QFETCH(QString, property);
        QFETCH(QString, kind);
        QFETCH(QString, format);
        QFETCH(bool, bound);
        QFETCH(QString, atBind);
        QFETCH(QVariant, change);
        QFETCH(QString, afterChange);

        Watched watched;
        watched.setObjectName(QStringLiteral("watched"));
        QWidget window;
        QWidget* widget = makeWidget(kind, &window);

        // The manager takes every well-formed request, bound or not.
        HViewProxyManager manager;
        QVERIFY(manager.registerObject(&watched));
        QVERIFY(manager.bind(QStringLiteral("watched"), property, widget, format));
        QCOMPARE(shown(widget), atBind);

        // The proxy says whether it bound.
        HViewProxyObject proxy;
        proxy.setTarget(&watched);
        QCOMPARE(proxy.bindWidget(property, makeWidget(kind, &window), format), bound);

        if (change.isValid())
            watched.setProperty(property.toLatin1().constData(), change);
        QCOMPARE(shown(widget), afterChange);
    }

    void bindRefusals()
    {
        Watched watched;
        watched.setObjectName(QStringLiteral("watched"));
        Watched unnamed;
        HViewProxyManager manager;
        QVERIFY(!manager.registerObject(nullptr));
        QVERIFY(!manager.registerObject(&unnamed));
        QVERIFY(manager.registerObject(&watched));
        QLabel label(QStringLiteral("--"));
        QVERIFY(!manager.bind(QStringLiteral("never"), QStringLiteral("Count"), &label));
        QVERIFY(!manager.bind(QStringLiteral("watched"), QString(), &label));
        QVERIFY(!manager.bind(QStringLiteral("watched"), QStringLiteral("Count"), nullptr));
        QCOMPARE(label.text(), QStringLiteral("--"));
    }

    void writeBack_data()
    {
        QTest::addColumn<QString>("property");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("typed");   // edits: text then Return; combos: index; buttons: click
        QTest::addColumn<QVariant>("written");
        QTest::addColumn<QString>("shownAfter");
        QTest::addColumn<int>("refreshes");

        QTest::newRow("int edit") << "Count" << "edit" << "42" << QVariant(42) << "42" << 1;
        QTest::newRow("int edit not a number") << "Count" << "edit" << "abc" << QVariant(0) << "0" << 1;
        QTest::newRow("int edit same value") << "Count" << "edit" << "7" << QVariant(7) << "7" << 0;
        QTest::newRow("double edit") << "Level" << "edit" << "2.5" << QVariant(2.5) << "2.5" << 1;
        QTest::newRow("double edit not a number") << "Level" << "edit" << "x" << QVariant(0.0) << "0" << 1;
        QTest::newRow("double combo") << "Level" << "fscombo" << "2" << QVariant(6.25)
                                      << "6.25|0.25,1,6.25,1234567.5" << 1;
        QTest::newRow("string edit") << "Name" << "edit" << "新" << QVariant("新") << "新" << 1;
        QTest::newRow("enum combo") << "State" << "combo" << "2" << QVariant::fromValue(Watched::Third)
                                    << "Third|First,Second,Third" << 1;
        QTest::newRow("bool check") << "Enabled" << "check" << "click" << QVariant(false) << "off" << 1;
        QTest::newRow("bool toggle button") << "Enabled" << "toggle" << "click" << QVariant(false) << "off" << 1;
        QTest::newRow("bool plain button") << "Enabled" << "button" << "click" << QVariant(true) << "off" << 0;
        QTest::newRow("no notify") << "Quiet" << "edit" << "8" << QVariant(8) << "8" << 0;
        QTest::newRow("label stays") << "Count" << "label" << "" << QVariant(7) << "7" << 0;
    }

    void writeBack()
    {
        QFETCH(QString, property);
        QFETCH(QString, kind);
        QFETCH(QString, typed);
        QFETCH(QVariant, written);
        QFETCH(QString, shownAfter);
        QFETCH(int, refreshes);

        Watched watched;
        HViewProxyObject proxy;
        proxy.setTarget(&watched);
        QWidget window;
        QWidget* widget = makeWidget(kind, &window);
        QVERIFY(proxy.bindWidget(property, widget, QString()));
        const QMetaProperty meta = watched.metaObject()->property(
            watched.metaObject()->indexOfProperty(property.toLatin1().constData()));
        std::unique_ptr<QSignalSpy> notified;
        if (meta.hasNotifySignal())
            notified = std::make_unique<QSignalSpy>(&watched, meta.notifySignal());

        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            edit->setText(typed);
            QTest::keyClick(edit, Qt::Key_Return);
        } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            combo->setCurrentIndex(typed.toInt());
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            button->click();
        }
        QCOMPARE(watched.property(property.toLatin1().constData()), written);
        QCOMPARE(shown(widget), shownAfter);
        QCOMPARE(notified ? notified->count() : 0, refreshes);
    }

    void widgetsOfOnePropertyNewestFirst()
    {
        Watched watched;
        HViewProxyObject proxy;
        proxy.setTarget(&watched);
        QLineEdit older, newer;
        QStringList order;
        connect(&older, &QLineEdit::textChanged, this, [&order](const QString& t) { order << "older " + t; });
        connect(&newer, &QLineEdit::textChanged, this, [&order](const QString& t) { order << "newer " + t; });
        QVERIFY(proxy.bindWidget(QStringLiteral("Count"), &older, QString()));
        QVERIFY(proxy.bindWidget(QStringLiteral("Count"), &newer, QStringLiteral("%d")));
        order.clear();
        watched.setProperty("Count", 12);
        QCOMPARE(order, (QStringList{QStringLiteral("newer 12"), QStringLiteral("older 12")}));

        // An edit in one refreshes the other as well.
        order.clear();
        older.setText(QStringLiteral("13"));
        QTest::keyClick(&older, Qt::Key_Return);
        QCOMPARE(watched.count, 13);
        QCOMPARE(order, (QStringList{QStringLiteral("older 13"), QStringLiteral("newer 13")}));
    }

    void reRegistrationUnderAUsedName()
    {
        HViewProxyManager manager;
        auto first = std::make_unique<Watched>();
        first->setObjectName(QStringLiteral("obj"));
        QLabel firstLabel, secondLabel;
        QVERIFY(manager.registerObject(first.get()));
        QVERIFY(manager.bind(QStringLiteral("obj"), QStringLiteral("Count"), &firstLabel));

        Watched second;
        second.count = 20;
        second.setObjectName(QStringLiteral("obj"));
        QVERIFY(manager.registerObject(&second));
        first->setProperty("Count", 8);
        QCOMPARE(firstLabel.text(), QStringLiteral("7"));   // its proxy went with the new registration

        QVERIFY(manager.bind(QStringLiteral("obj"), QStringLiteral("Count"), &secondLabel));
        QCOMPARE(secondLabel.text(), QStringLiteral("20"));
        first.reset();
        second.setProperty("Count", 21);
        QCOMPARE(secondLabel.text(), QStringLiteral("21"));
        QVERIFY(manager.bind(QStringLiteral("obj"), QStringLiteral("Count"), &firstLabel));
    }

    void registeredObjectDestroyed()
    {
        HViewProxyManager manager;
        auto watched = std::make_unique<Watched>();
        watched->setObjectName(QStringLiteral("obj"));
        QVERIFY(manager.registerObject(watched.get()));
        QLineEdit edit;
        QVERIFY(manager.bind(QStringLiteral("obj"), QStringLiteral("Count"), &edit));
        watched->setProperty("Count", 9);
        watched.reset();

        QCOMPARE(edit.text(), QStringLiteral("9"));
        edit.setText(QStringLiteral("10"));
        QTest::keyClick(&edit, Qt::Key_Return);   // writes nowhere
        QVERIFY(!manager.bind(QStringLiteral("obj"), QStringLiteral("Count"), &edit));
    }

    // The object outlives the window that shows it: a notify signal after
    // the window's widgets are gone touches none of them.
    void boundWidgetDestroyedBeforeNotify()
    {
        Watched watched;
        HViewProxyObject proxy;
        proxy.setTarget(&watched);
        auto window = std::make_unique<QWidget>();
        auto* label = new QLabel(window.get());
        auto* edit = new QLineEdit(window.get());
        auto* combo = new QComboBox(window.get());
        QVERIFY(proxy.bindWidget(QStringLiteral("Count"), label, QString()));
        QVERIFY(proxy.bindWidget(QStringLiteral("Count"), edit, QStringLiteral("%d")));
        QVERIFY(proxy.bindWidget(QStringLiteral("State"), combo, QString()));
        connect(window.get(), &QObject::destroyed, &watched, [&watched] {
            // Teardown of the window: the children go after this signal.
            watched.setProperty("Count", 1);
        });
        connect(label, &QObject::destroyed, &watched, [&watched] { watched.setProperty("Count", 2); });
        window.reset();
        watched.setProperty("Count", 3);
        watched.setProperty("State", QVariant::fromValue(Watched::First));

        // The proxy still serves widgets bound later.
        QLabel later;
        QVERIFY(proxy.bindWidget(QStringLiteral("Count"), &later, QString()));
        watched.setProperty("Count", 4);
        QCOMPARE(later.text(), QStringLiteral("4"));
    }

    void reTargetingDropsTheOldBindings()
    {
        Watched first, second;
        HViewProxyObject proxy;
        proxy.setTarget(&first);
        QLineEdit edit;
        QVERIFY(proxy.bindWidget(QStringLiteral("Count"), &edit, QString()));
        proxy.setTarget(&second);
        first.setProperty("Count", 30);
        QCOMPARE(edit.text(), QStringLiteral("7"));
        edit.setText(QStringLiteral("31"));
        QTest::keyClick(&edit, Qt::Key_Return);
        QCOMPARE(second.count, 7);
        QCOMPARE(first.count, 30);
    }
};

QTEST_MAIN(TstBinding)
#include "tst_binding.moc"
