#pragma once
// A QStateMachine whose states, transitions, handlers and time-outs are
// declared and found by state name. Entry, exit and guard handlers are
// methods of any object, bound by their normalised signature through the
// meta-object system, so a derived controller can describe its whole machine
// as tables of names. A name or signature that is not known is reported with
// a warning and a false result, and the machine stays as it was.

#include <QAbstractTransition>
#include <QMap>
#include <QMetaMethod>
#include <QObject>
#include <QState>
#include <QStateMachine>
#include <QString>

class QTimer;
class HCollector;

using HStateFunc = void (*)(HCollector*);
using HGuardFunc = bool (*)(QEvent*);

// A transition whose test is a plain function or a `bool method(QEvent*)` of
// an object living on the machine's thread.
class HTransition : public QAbstractTransition
{
    Q_OBJECT
public:
    HTransition();

    void setGuardFunc(HGuardFunc func);
    // False (and nothing changes) when the object lacks the method.
    bool setGuard(QObject* object, const QString& signature);

    HGuardFunc guardFunction() const { return guardFunc; }
    QObject* guardTarget() const { return guardObject; }
    QMetaMethod guard() const { return guardMethod; }

protected:
    bool eventTest(QEvent* event) override;
    void onTransition(QEvent* event) override;

private:
    HGuardFunc guardFunc = nullptr;
    QMetaMethod guardMethod;
    QObject* guardObject = nullptr;
};

class HCollector : public QObject
{
    Q_OBJECT
public:
    explicit HCollector(QObject* parent = nullptr);
    ~HCollector() override;

    QState* AddState(const QString& name, QState* parent = nullptr, QState* state = nullptr);
    bool AddChildState(const QString& name, const QString& parentName, bool initial,
                       QState* state = nullptr);

    bool SetEntryFunc(const QString& name, HStateFunc func);
    bool SetExitFunc(const QString& name, HStateFunc func);
    bool SetEntry(const QString& name, QObject* object, const QString& signature);
    bool SetExit(const QString& name, QObject* object, const QString& signature);

    bool AddTransition(const QString& from, const QString& to, QAbstractTransition* transition);
    bool AddGuardFuncTransition(const QString& from, const QString& to, HGuardFunc guard);
    bool AddGuardTransition(const QString& from, const QString& to, QObject* object,
                            const QString& signature);
    bool AddTimeout(const QString& from, const QString& to, int interval);

public slots:
    bool WorkInit(QString initState);
    void WorkStart();
    void onStateEvent(QEvent* event, QStateMachine::EventPriority priority);
    void onStateEvent(QEvent* event);

private slots:
    void onStateEntry();
    void onStateExit();

protected:
    QStateMachine* machine;
    QMap<QString, QState*> states;
    QMap<QString, HStateFunc> entryFuncs;
    QMap<QString, QObject*> entryObjects;
    QMap<QString, QMetaMethod> entryMethods;
    QMap<QString, HStateFunc> exitFuncs;
    QMap<QString, QObject*> exitObjects;
    QMap<QString, QMetaMethod> exitMethods;
    QMap<QString, QAbstractTransition*> transitions;
    QMap<QString, QString> timeoutTargets;
    QMap<QString, QTimer*> stateTimers;
    QMap<QTimer*, QString> timerStates;

private:
    QState* knownState(const QString& name, const char* operation) const;
    bool bindMethod(const char* operation, const QString& name, QObject* object, const QString& signature,
                    QMap<QString, QObject*>& objects, QMap<QString, QMetaMethod>& methods);
};
