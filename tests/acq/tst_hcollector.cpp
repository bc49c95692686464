// The name-keyed state machine: binding by name and signature, guards,
// time-outs, and the order in which triggers raised inside handlers run.

#include "HCollector.h"

#include <QSignalSpy>
#include <QSignalTransition>
#include <QTimer>
#include <QtTest>

namespace {

const QEvent::Type kGo = QEvent::Type(QEvent::User + 7);

QStringList g_funcLog;
void entryFuncA(HCollector*) { g_funcLog << QStringLiteral("func:A"); }
bool guardGo(QEvent* e) { return e->type() == kGo; }

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
    bool allow = false;
    Probe* owner = nullptr;

    Q_INVOKABLE void enterA() { log << QStringLiteral("enter:A"); }
    Q_INVOKABLE void exitA() { log << QStringLiteral("exit:A"); }
    Q_INVOKABLE void enterB() { log << QStringLiteral("enter:B"); }
    Q_INVOKABLE void enterC() { log << QStringLiteral("enter:C"); }
    Q_INVOKABLE void enterD() { log << QStringLiteral("enter:D"); }
    Q_INVOKABLE bool allowGo(QEvent* e) { return allow && e->type() == kGo; }
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
    void init() { g_funcLog.clear(); }

    void bindingByNameAndSignature();
    void entryExitOrderAndGuards();
    void missingGuardMethodNeverFires();
    void sharedKeyAndTimeout();
    void timeoutRestartsOnReentry();
    void workInitAndReusedNames();
    void triggersInsideHandlersRunAfterTransition();
};

void TstHCollector::bindingByNameAndSignature()
{
    Probe c;
    Handlers h;
    QVERIFY(c.AddState(QString()) == nullptr);
    QState* a = c.AddState(QStringLiteral("A"));
    QVERIFY(a);
    QCOMPARE(a->objectName(), QStringLiteral("A"));
    QCOMPARE(a->parent(), c.machine);

    QVERIFY(c.SetEntry(QStringLiteral("A"), &h, QStringLiteral("enterA()")));
    QVERIFY(!c.SetEntry(QStringLiteral("A"), &h, QStringLiteral("enterA( )")));   // not normalised
    QVERIFY(!c.SetEntry(QStringLiteral("A"), &h, QStringLiteral("noSuch()")));
    QVERIFY(!c.SetEntry(QStringLiteral("A"), nullptr, QStringLiteral("enterA()")));
    QVERIFY(!c.SetEntry(QStringLiteral("Z"), &h, QStringLiteral("enterA()")));
    QVERIFY(!c.SetExit(QStringLiteral("Z"), &h, QStringLiteral("exitA()")));
    QVERIFY(!c.SetEntryFunc(QStringLiteral("Z"), &entryFuncA));
    QVERIFY(c.SetExitFunc(QStringLiteral("A"), nullptr));

    // Children: an unknown parent creates nothing, an initial child is set.
    c.AddChildState(QStringLiteral("X"), QStringLiteral("Nope"), true);
    QVERIFY(!c.states.contains(QStringLiteral("X")));
    c.AddChildState(QStringLiteral("A1"), QStringLiteral("A"), true);
    QCOMPARE(a->initialState(), c.states.value(QStringLiteral("A1")));
    c.AddChildState(QString(), QStringLiteral("A"), false);
    QCOMPARE(a->findChildren<QState*>().size(), 1);

    // Unknown names attach nothing; a null guard creates nothing.
    auto* loose = new QSignalTransition(&h, &Handlers::trigger);
    QVERIFY(!c.AddTransition(QStringLiteral("A"), QStringLiteral("Z"), loose));
    QVERIFY(loose->sourceState() == nullptr);
    delete loose;
    QVERIFY(!c.AddGuardFuncTransition(QStringLiteral("A"), QStringLiteral("A1"), nullptr));
    QVERIFY(!c.AddGuardTransition(QStringLiteral("A"), QStringLiteral("A1"), nullptr, QStringLiteral("allowGo(QEvent*)")));
    QVERIFY(!c.AddGuardTransition(QStringLiteral("A"), QStringLiteral("A1"), &h, QString()));
    QVERIFY(c.transitions.isEmpty());
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
    QTest::qWait(20);
    QVERIFY(c.inState(QStringLiteral("A")));
    h.allow = true;
    c.onStateEvent(new QEvent(kGo), QStateMachine::HighPriority);
    QTRY_VERIFY(c.inState(QStringLiteral("B")));
    QCOMPARE(h.log, (QStringList{QStringLiteral("enter:A"), QStringLiteral("exit:A")}));

    // The function guard only passes its own event type.
    c.onStateEvent(new QEvent(QEvent::Type(QEvent::User + 8)));
    QTest::qWait(20);
    QVERIFY(c.inState(QStringLiteral("B")));
    c.onStateEvent(new QEvent(kGo));
    QTRY_VERIFY(c.inState(QStringLiteral("C")));
    QCOMPARE(h.log.last(), QStringLiteral("enter:C"));
}

void TstHCollector::missingGuardMethodNeverFires()
{
    Probe c;
    Handlers h;
    h.allow = true;
    c.AddState(QStringLiteral("A"));
    c.AddState(QStringLiteral("B"));
    QVERIFY(c.AddGuardTransition(QStringLiteral("A"), QStringLiteral("B"), &h, QStringLiteral("lacking(QEvent*)")));
    QVERIFY(c.transitions.contains(QStringLiteral("A:B")));
    c.WorkInit(QStringLiteral("A"));
    c.WorkStart();
    QTRY_VERIFY(c.inState(QStringLiteral("A")));
    c.onStateEvent(new QEvent(kGo));
    QTest::qWait(30);
    QVERIFY(c.inState(QStringLiteral("A")));
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
    // A time-out naming an unknown state has a timer but no effect.
    c.AddTimeout(QStringLiteral("B"), QStringLiteral("Nowhere"), 10);
    QVERIFY(c.stateTimers.contains(QStringLiteral("B")));

    c.WorkInit(QStringLiteral("A"));
    c.WorkStart();
    QTRY_VERIFY(c.inState(QStringLiteral("A")));
    QTRY_VERIFY(c.inState(QStringLiteral("B")));      // by the time-out
    QTest::qWait(40);
    QVERIFY(c.inState(QStringLiteral("B")));

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
    // Long enough that a loaded machine does not let it run out during the
    // first 200 ms in A.
    c.AddTimeout(QStringLiteral("A"), QStringLiteral("T"), 1000);
    c.WorkInit(QStringLiteral("A"));
    c.WorkStart();
    QTRY_VERIFY(c.inState(QStringLiteral("A")));
    QElapsedTimer clock;
    QTest::qWait(200);
    emit h.trigger();
    emit h.other();
    clock.start();
    QVERIFY(c.inState(QStringLiteral("A")));
    QTRY_VERIFY_WITH_TIMEOUT(c.inState(QStringLiteral("T")), 4000);
    // Counted from the first entry it would end some 800 ms after the
    // re-entry; a coarse timer may end up to 5 % early.
    QVERIFY2(clock.elapsed() >= 900, "the time-out counts from the last entry");
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
