// The name-keyed state machine: binding by name and signature, guards,
// time-outs, and the order in which triggers raised inside handlers run.

#include "HCollector.h"

#include <QSignalSpy>
#include <QSignalTransition>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

const QEvent::Type kGo = QEvent::Type(QEvent::User + 7);

QStringList g_funcLog;
void entryFuncA(HCollector*) { g_funcLog << QStringLiteral("func:A"); }
QList<int> g_guardSeen;
bool guardGo(QEvent* e)
{
    g_guardSeen << int(e->type());
    return e->type() == kGo;
}

} // namespace

// Exposes the registries and the machine to the tests.
class Probe : public HCollector
{
    Q_OBJECT
public:
    using HCollector::machine;
    using HCollector::states;
    using HCollector::stateTimers;
    using HCollector::transitions;

    bool inState(const QString& name) const
    {
        return machine->configuration().contains(states.value(name));
    }
};

class Handlers : public QObject
{
    Q_OBJECT
public:
    QStringList log;
    QList<int> asked;     // event types the method guard was asked about
    bool allow = false;
    Probe* owner = nullptr;

    Q_INVOKABLE void enterA() { log << QStringLiteral("enter:A"); }
    Q_INVOKABLE void exitA() { log << QStringLiteral("exit:A"); }
    Q_INVOKABLE void enterB() { log << QStringLiteral("enter:B"); }
    Q_INVOKABLE void enterC() { log << QStringLiteral("enter:C"); }
    Q_INVOKABLE void enterD() { log << QStringLiteral("enter:D"); }
    Q_INVOKABLE bool allowGo(QEvent* e)
    {
        asked << int(e->type());
        return allow && e->type() == kGo;
    }
    // Raises a trigger and posts an event from inside an entry handler.
    Q_INVOKABLE void enterAndRaise()
    {
        log << QStringLiteral("enter:R");
        owner->onStateEvent(new QEvent(kGo));
        emit trigger();
    }

signals:
    void trigger();
    void other();
};

class TstHCollector : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        g_funcLog.clear();
        g_guardSeen.clear();
    }

    void bindingByNameAndSignature();
    void unknownNamesWarnAndAddNothing();
    void entryExitOrderAndGuards();
    void sharedKeyAndTimeout();
    void timeoutRestartsOnReentry();
    void workInitAndReusedNames();
    void triggersInsideHandlersRunAfterTransition();
};

void TstHCollector::bindingByNameAndSignature()
{
    Probe c;
    Handlers h;
    QState* a = c.AddState(QStringLiteral("A"));
    QVERIFY(a);
    QCOMPARE(a->objectName(), QStringLiteral("A"));
    QCOMPARE(a->parent(), c.machine);
    QVERIFY(c.SetEntry(QStringLiteral("A"), &h, QStringLiteral("enterA()")));
    QVERIFY(c.SetExitFunc(QStringLiteral("A"), nullptr));

    // An initial child is set as its parent's initial state.
    QVERIFY(c.AddChildState(QStringLiteral("A1"), QStringLiteral("A"), true));
    QCOMPARE(a->initialState(), c.states.value(QStringLiteral("A1")));
    QVERIFY(c.AddChildState(QStringLiteral("A2"), QStringLiteral("A"), false));
    QCOMPARE(a->initialState(), c.states.value(QStringLiteral("A1")));
    QVERIFY(c.AddGuardTransition(QStringLiteral("A1"), QStringLiteral("A2"), &h, QStringLiteral("allowGo(QEvent*)")));
    auto* guard = qobject_cast<HTransition*>(c.transitions.value(QStringLiteral("A1:A2")));
    QVERIFY(guard);
    QCOMPARE(guard->guardTarget(), &h);
    QCOMPARE(guard->guard().methodSignature(), QByteArray("allowGo(QEvent*)"));
}

void TstHCollector::unknownNamesWarnAndAddNothing()
{
    // Each call names a state, parent or signature that does not exist: it
    // says so, returns false and leaves the machine as it was.
    struct Row {
        const char* warning;
        std::function<bool(Probe&, Handlers&)> call;
    };
    auto* loose = new QSignalTransition;
    const QList<Row> rows = {
        {"AddState: a state needs a name", [](Probe& c, Handlers&) { return c.AddState(QString()) != nullptr; }},
        {"AddChildState: no state named \"Nope\"",
         [](Probe& c, Handlers&) { return c.AddChildState(QStringLiteral("X"), QStringLiteral("Nope"), true); }},
        {"AddState: a state needs a name",
         [](Probe& c, Handlers&) { return c.AddChildState(QString(), QStringLiteral("A"), false); }},
        {"SetEntry: Handlers has no method \"enterA( )\"",   // not in normalised form
         [](Probe& c, Handlers& h) { return c.SetEntry(QStringLiteral("A"), &h, QStringLiteral("enterA( )")); }},
        {"SetEntry: Handlers has no method \"noSuch()\"",
         [](Probe& c, Handlers& h) { return c.SetEntry(QStringLiteral("A"), &h, QStringLiteral("noSuch()")); }},
        {"SetEntry: a null object has no method \"enterA()\"",
         [](Probe& c, Handlers&) { return c.SetEntry(QStringLiteral("A"), nullptr, QStringLiteral("enterA()")); }},
        {"SetEntry: no state named \"Z\"",
         [](Probe& c, Handlers& h) { return c.SetEntry(QStringLiteral("Z"), &h, QStringLiteral("enterA()")); }},
        {"SetExit: no state named \"Z\"",
         [](Probe& c, Handlers& h) { return c.SetExit(QStringLiteral("Z"), &h, QStringLiteral("exitA()")); }},
        {"SetEntryFunc: no state named \"Z\"",
         [](Probe& c, Handlers&) { return c.SetEntryFunc(QStringLiteral("Z"), &entryFuncA); }},
        {"SetExitFunc: no state named \"Z\"",
         [](Probe& c, Handlers&) { return c.SetExitFunc(QStringLiteral("Z"), nullptr); }},
        {"AddTransition: no state named \"Z\"",
         [loose](Probe& c, Handlers&) { return c.AddTransition(QStringLiteral("A"), QStringLiteral("Z"), loose); }},
        {"AddGuardFuncTransition: no guard given for A:B",
         [](Probe& c, Handlers&) { return c.AddGuardFuncTransition(QStringLiteral("A"), QStringLiteral("B"), nullptr); }},
        {"AddGuardFuncTransition: no state named \"Z\"",
         [](Probe& c, Handlers&) { return c.AddGuardFuncTransition(QStringLiteral("Z"), QStringLiteral("B"), &guardGo); }},
        {"AddGuardTransition: a null object has no guard \"allowGo(QEvent*)\"",
         [](Probe& c, Handlers&) {
             return c.AddGuardTransition(QStringLiteral("A"), QStringLiteral("B"), nullptr, QStringLiteral("allowGo(QEvent*)"));
         }},
        {"AddGuardTransition: Handlers has no guard \"\"",
         [](Probe& c, Handlers& h) { return c.AddGuardTransition(QStringLiteral("A"), QStringLiteral("B"), &h, QString()); }},
        // A guard that cannot be called would never fire.
        {"AddGuardTransition: Handlers has no guard \"lacking(QEvent*)\"",
         [](Probe& c, Handlers& h) {
             return c.AddGuardTransition(QStringLiteral("A"), QStringLiteral("B"), &h, QStringLiteral("lacking(QEvent*)"));
         }},
        {"AddTimeout: no state named \"Nowhere\"",
         [](Probe& c, Handlers&) { return c.AddTimeout(QStringLiteral("B"), QStringLiteral("Nowhere"), 10); }},
        {"WorkInit: no state named \"Nope\"", [](Probe& c, Handlers&) { return c.WorkInit(QStringLiteral("Nope")); }},
    };

    Probe c;
    Handlers h;
    QState* a = c.AddState(QStringLiteral("A"));
    c.AddState(QStringLiteral("B"));
    c.WorkInit(QStringLiteral("A"));
    const QObjectList before = c.children();
    for (const Row& row : rows) {
        QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("HCollector::") + QLatin1String(row.warning)));
        QVERIFY2(!row.call(c, h), row.warning);
    }
    QCOMPARE(c.states.keys(), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    QVERIFY(a->findChildren<QState*>().isEmpty());
    QVERIFY(c.transitions.isEmpty());
    QVERIFY(c.stateTimers.isEmpty());
    QCOMPARE(c.children(), before);
    QCOMPARE(c.machine->initialState(), a);
    QVERIFY(loose->sourceState() == nullptr);
    delete loose;
}

void TstHCollector::entryExitOrderAndGuards()
{
    Probe c;
    Handlers h;
    c.AddState(QStringLiteral("A"));
    c.AddState(QStringLiteral("B"));
    c.AddState(QStringLiteral("C"));
    c.SetEntryFunc(QStringLiteral("A"), &entryFuncA);
    c.SetEntry(QStringLiteral("A"), &h, QStringLiteral("enterA()"));
    c.SetExit(QStringLiteral("A"), &h, QStringLiteral("exitA()"));
    c.SetEntry(QStringLiteral("C"), &h, QStringLiteral("enterC()"));
    // B has no handlers at all.
    QVERIFY(c.AddGuardTransition(QStringLiteral("A"), QStringLiteral("B"), &h, QStringLiteral("allowGo(QEvent*)")));
    QVERIFY(c.AddGuardFuncTransition(QStringLiteral("B"), QStringLiteral("C"), &guardGo));
    QCOMPARE(c.transitions.value(QStringLiteral("A:B"))->objectName(), QStringLiteral("A:B"));
    QVERIFY(c.WorkInit(QStringLiteral("A")));
    c.WorkStart();
    QTRY_VERIFY(c.inState(QStringLiteral("A")));
    QCOMPARE(g_funcLog, QStringList{QStringLiteral("func:A")});
    QCOMPARE(h.log, QStringList{QStringLiteral("enter:A")});

    // The method guard refuses until allowed.
    c.onStateEvent(new QEvent(kGo));
    QTRY_VERIFY(h.asked.contains(int(kGo)));
    QVERIFY(c.inState(QStringLiteral("A")));
    h.allow = true;
    c.onStateEvent(new QEvent(kGo), QStateMachine::HighPriority);
    QTRY_VERIFY(c.inState(QStringLiteral("B")));
    QCOMPARE(h.log, (QStringList{QStringLiteral("enter:A"), QStringLiteral("exit:A")}));

    // The function guard only passes its own event type.
    c.onStateEvent(new QEvent(QEvent::Type(QEvent::User + 8)));
    QTRY_VERIFY(g_guardSeen.contains(QEvent::User + 8));
    QVERIFY(c.inState(QStringLiteral("B")));
    c.onStateEvent(new QEvent(kGo));
    QTRY_VERIFY(c.inState(QStringLiteral("C")));
    QCOMPARE(h.log.last(), QStringLiteral("enter:C"));
}

void TstHCollector::sharedKeyAndTimeout()
{
    Probe c;
    Handlers h;
    c.AddState(QStringLiteral("A"));
    c.AddState(QStringLiteral("B"));
    auto* bySignal = new QSignalTransition(&h, &Handlers::trigger);
    QVERIFY(c.AddTransition(QStringLiteral("A"), QStringLiteral("B"), bySignal));
    c.AddTimeout(QStringLiteral("A"), QStringLiteral("B"), 60);
    // Both stay in the machine; the registry holds the later one.
    QVERIFY(c.transitions.value(QStringLiteral("A:B")) != bySignal);
    QCOMPARE(c.states.value(QStringLiteral("A"))->transitions().size(), 2);

    c.WorkInit(QStringLiteral("A"));
    c.WorkStart();
    QTRY_VERIFY(c.inState(QStringLiteral("A")));
    QTRY_VERIFY(c.inState(QStringLiteral("B")));      // by the time-out

    // The signal transition is live too.
    Probe d;
    d.AddState(QStringLiteral("A"));
    d.AddState(QStringLiteral("B"));
    d.AddTransition(QStringLiteral("A"), QStringLiteral("B"), new QSignalTransition(&h, &Handlers::trigger));
    d.AddTimeout(QStringLiteral("A"), QStringLiteral("B"), 100000);
    d.WorkInit(QStringLiteral("A"));
    d.WorkStart();
    QTRY_VERIFY(d.inState(QStringLiteral("A")));
    emit h.trigger();
    QVERIFY(d.inState(QStringLiteral("B")));            // handled inside the emission
    QVERIFY(!d.stateTimers.value(QStringLiteral("A"))->isActive());
}

void TstHCollector::timeoutRestartsOnReentry()
{
    Probe c;
    Handlers h;
    c.AddState(QStringLiteral("A"));
    c.AddState(QStringLiteral("B"));
    c.AddState(QStringLiteral("T"));
    c.AddTransition(QStringLiteral("A"), QStringLiteral("B"), new QSignalTransition(&h, &Handlers::trigger));
    c.AddTransition(QStringLiteral("B"), QStringLiteral("A"), new QSignalTransition(&h, &Handlers::other));
    QVERIFY(c.AddTimeout(QStringLiteral("A"), QStringLiteral("T"), 100000));
    QTimer* timer = c.stateTimers.value(QStringLiteral("A"));
    c.WorkInit(QStringLiteral("A"));
    QVERIFY(!timer->isActive());                     // nothing runs before the machine
    c.WorkStart();
    QTRY_VERIFY(c.inState(QStringLiteral("A")));
    QVERIFY(timer->isActive());
    // Stopped behind the machine's back, the timer shows whether the next
    // entry starts it again from its full interval.
    timer->stop();
    emit h.trigger();
    QVERIFY(!timer->isActive());
    emit h.other();
    QVERIFY(c.inState(QStringLiteral("A")));
    QVERIFY(timer->isActive());
    QVERIFY(timer->remainingTime() > 90000);
    QVERIFY(timer->isSingleShot());
}

void TstHCollector::workInitAndReusedNames()
{
    Probe c;
    Handlers h;
    QState* first = c.AddState(QStringLiteral("A"));
    c.AddState(QStringLiteral("B"));
    QVERIFY(c.WorkInit(QStringLiteral("A")));
    QVERIFY(!c.WorkInit(QStringLiteral("Nope")));
    QCOMPARE(c.machine->initialState(), first);

    c.SetEntry(QStringLiteral("A"), &h, QStringLiteral("enterA()"));
    c.AddTransition(QStringLiteral("A"), QStringLiteral("B"), new QSignalTransition(&h, &Handlers::trigger));
    // A second state under the same name: name-based calls now reach it,
    // the first keeps its transition and its bound entry method.
    QState* second = c.AddState(QStringLiteral("A"));
    QCOMPARE(c.states.value(QStringLiteral("A")), second);
    c.AddTransition(QStringLiteral("B"), QStringLiteral("A"), new QSignalTransition(&h, &Handlers::other));
    c.WorkStart();
    QTRY_VERIFY(c.machine->configuration().contains(first));
    QCOMPARE(h.log, QStringList{QStringLiteral("enter:A")});
    emit h.trigger();
    QVERIFY(c.inState(QStringLiteral("B")));
    emit h.other();
    QVERIFY(c.machine->configuration().contains(second));
    QCOMPARE(h.log.size(), 2);   // the entry method stays bound to the name
}

void TstHCollector::triggersInsideHandlersRunAfterTransition()
{
    // R's entry raises a trigger and posts an event. The trigger is handled
    // once the transition into R is over (R -> B), the posted event after it
    // (B -> D); had the event gone first, R -> C would have been taken.
    Probe c;
    Handlers h;
    h.owner = &c;
    h.allow = true;
    c.AddState(QStringLiteral("S"));
    c.AddState(QStringLiteral("R"));
    c.AddState(QStringLiteral("B"));
    c.AddState(QStringLiteral("C"));
    c.AddState(QStringLiteral("D"));
    c.SetEntry(QStringLiteral("R"), &h, QStringLiteral("enterAndRaise()"));
    c.SetEntry(QStringLiteral("B"), &h, QStringLiteral("enterB()"));
    c.SetEntry(QStringLiteral("C"), &h, QStringLiteral("enterC()"));
    c.SetEntry(QStringLiteral("D"), &h, QStringLiteral("enterD()"));
    c.AddTransition(QStringLiteral("S"), QStringLiteral("R"), new QSignalTransition(&h, &Handlers::other));
    c.AddGuardTransition(QStringLiteral("R"), QStringLiteral("C"), &h, QStringLiteral("allowGo(QEvent*)"));
    c.AddTransition(QStringLiteral("R"), QStringLiteral("B"), new QSignalTransition(&h, &Handlers::trigger));
    c.AddGuardTransition(QStringLiteral("B"), QStringLiteral("D"), &h, QStringLiteral("allowGo(QEvent*)"));
    c.WorkInit(QStringLiteral("S"));
    c.WorkStart();
    QTRY_VERIFY(c.inState(QStringLiteral("S")));
    emit h.other();
    QTRY_VERIFY(c.inState(QStringLiteral("D")));
    QCOMPARE(h.log, (QStringList{QStringLiteral("enter:R"), QStringLiteral("enter:B"), QStringLiteral("enter:D")}));
}

QTEST_GUILESS_MAIN(TstHCollector)
#include "tst_hcollector.moc"
