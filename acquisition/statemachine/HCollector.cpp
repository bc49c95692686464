#include "HCollector.h"

#include <QSignalTransition>
#include <QTimer>

namespace {

// Exact lookup: the signature must already be in the normalised form the
// meta-object records, e.g. "OnEntry_DeviceWait()".
QMetaMethod findMethod(const QObject* object, const QString& signature)
{
    if (!object || signature.isEmpty())
        return QMetaMethod();
    const QMetaObject* meta = object->metaObject();
    const int index = meta->indexOfMethod(signature.toUtf8().constData());
    return index < 0 ? QMetaMethod() : meta->method(index);
}

} // namespace

// ---------------------------------------------------------------- HTransition

HTransition::HTransition() = default;

void HTransition::setGuardFunc(HGuardFunc func)
{
    guardFunc = func;
}

bool HTransition::setGuard(QObject* object, const QString& signature)
{
    const QMetaMethod method = findMethod(object, signature);
    if (!method.isValid())
        return false;
    guardObject = object;
    guardMethod = method;
    return true;
}

bool HTransition::eventTest(QEvent* event)
{
    if (guardFunc)
        return guardFunc(event);
    if (!guardObject)
        return false;
    bool result = false;
    guardMethod.invoke(guardObject, Qt::AutoConnection, Q_RETURN_ARG(bool, result),
                       Q_ARG(QEvent*, event));
    return result;
}

void HTransition::onTransition(QEvent*)
{
}

// ----------------------------------------------------------------- HCollector

HCollector::HCollector(QObject* parent)
    : QObject(parent)
    , machine(new QStateMachine(this))
{
}

HCollector::~HCollector() = default;

QState* HCollector::knownState(const QString& name, const char* operation) const
{
    QState* state = states.value(name, nullptr);
    if (!state)
        qWarning("HCollector::%s: no state named \"%s\"", operation, qUtf8Printable(name));
    return state;
}

QState* HCollector::AddState(const QString& name, QState* parent, QState* state)
{
    if (name.isEmpty()) {
        qWarning("HCollector::AddState: a state needs a name");
        return nullptr;
    }
    if (state)
        state->setParent(parent);
    else
        state = new QState(parent);
    state->setObjectName(name);
    states.insert(name, state);
    entryFuncs.insert(name, nullptr);
    exitFuncs.insert(name, nullptr);
    connect(state, &QState::entered, this, &HCollector::onStateEntry);
    connect(state, &QState::exited, this, &HCollector::onStateExit);
    if (!parent)
        machine->addState(state);
    return state;
}

bool HCollector::AddChildState(const QString& name, const QString& parentName, bool initial,
                               QState* state)
{
    QState* parent = knownState(parentName, "AddChildState");
    if (!parent)
        return false;
    QState* child = AddState(name, parent, state);
    if (!child)
        return false;
    if (initial)
        parent->setInitialState(child);
    return true;
}

bool HCollector::SetEntryFunc(const QString& name, HStateFunc func)
{
    if (!knownState(name, "SetEntryFunc"))
        return false;
    entryFuncs.insert(name, func);
    return true;
}

bool HCollector::SetExitFunc(const QString& name, HStateFunc func)
{
    if (!knownState(name, "SetExitFunc"))
        return false;
    exitFuncs.insert(name, func);
    return true;
}

bool HCollector::bindMethod(const char* operation, const QString& name, QObject* object,
                            const QString& signature, QMap<QString, QObject*>& objects,
                            QMap<QString, QMetaMethod>& methods)
{
    if (!knownState(name, operation))
        return false;
    const QMetaMethod method = findMethod(object, signature);
    if (!method.isValid()) {
        qWarning("HCollector::%s: %s has no method \"%s\"", operation,
                 object ? object->metaObject()->className() : "a null object", qUtf8Printable(signature));
        return false;
    }
    objects.insert(name, object);
    methods.insert(name, method);
    return true;
}

bool HCollector::SetEntry(const QString& name, QObject* object, const QString& signature)
{
    return bindMethod("SetEntry", name, object, signature, entryObjects, entryMethods);
}

bool HCollector::SetExit(const QString& name, QObject* object, const QString& signature)
{
    return bindMethod("SetExit", name, object, signature, exitObjects, exitMethods);
}

bool HCollector::AddTransition(const QString& from, const QString& to,
                               QAbstractTransition* transition)
{
    QState* source = knownState(from, "AddTransition");
    QState* target = knownState(to, "AddTransition");
    if (!source || !target)
        return false;
    if (!transition) {
        qWarning("HCollector::AddTransition: no transition given for %s:%s", qUtf8Printable(from),
                 qUtf8Printable(to));
        return false;
    }
    const QString key = QStringLiteral("%1:%2").arg(from, to);
    transition->setObjectName(key);
    transition->setTargetState(target);
    source->addTransition(transition);
    transitions.insert(key, transition);
    return true;
}

bool HCollector::AddGuardFuncTransition(const QString& from, const QString& to, HGuardFunc guard)
{
    if (!guard) {
        qWarning("HCollector::AddGuardFuncTransition: no guard given for %s:%s", qUtf8Printable(from),
                 qUtf8Printable(to));
        return false;
    }
    if (!knownState(from, "AddGuardFuncTransition") || !knownState(to, "AddGuardFuncTransition"))
        return false;
    auto* transition = new HTransition;
    transition->setGuardFunc(guard);
    transition->setParent(this);
    return AddTransition(from, to, transition);
}

bool HCollector::AddGuardTransition(const QString& from, const QString& to, QObject* object,
                                    const QString& signature)
{
    if (!knownState(from, "AddGuardTransition") || !knownState(to, "AddGuardTransition"))
        return false;
    // A guard that cannot be called would leave a transition that never
    // fires: nothing is added.
    if (!findMethod(object, signature).isValid()) {
        qWarning("HCollector::AddGuardTransition: %s has no guard \"%s\"",
                 object ? object->metaObject()->className() : "a null object", qUtf8Printable(signature));
        return false;
    }
    auto* transition = new HTransition;
    transition->setGuard(object, signature);
    transition->setParent(this);
    return AddTransition(from, to, transition);
}

bool HCollector::AddTimeout(const QString& from, const QString& to, int interval)
{
    if (!knownState(from, "AddTimeout") || !knownState(to, "AddTimeout"))
        return false;
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setInterval(interval);
    timeoutTargets.insert(from, to);
    stateTimers.insert(from, timer);
    timerStates.insert(timer, from);
    auto* transition = new QSignalTransition(timer, &QTimer::timeout);
    transition->setParent(this);
    return AddTransition(from, to, transition);
}

bool HCollector::WorkInit(QString initState)
{
    QState* state = knownState(initState, "WorkInit");
    if (!state)
        return false;
    machine->setInitialState(state);
    return true;
}
void HCollector::WorkStart()
{
    machine->start();
}

void HCollector::onStateEvent(QEvent* event, QStateMachine::EventPriority priority)
{
    machine->postEvent(event, priority);
}

void HCollector::onStateEvent(QEvent* event)
{
    onStateEvent(event, QStateMachine::NormalPriority);
}

void HCollector::onStateEntry()
{
    auto* state = qobject_cast<QState*>(sender());
    if (!state || state->objectName().isEmpty())
        return;
    const QString name = state->objectName();
    if (QTimer* timer = stateTimers.value(name, nullptr))
        timer->start();
    if (HStateFunc func = entryFuncs.value(name, nullptr))
        func(this);
    QObject* object = entryObjects.value(name, nullptr);
    const QMetaMethod method = entryMethods.value(name);
    if (object && method.isValid())
        method.invoke(object, Qt::AutoConnection);
}

void HCollector::onStateExit()
{
    auto* state = qobject_cast<QState*>(sender());
    if (!state || state->objectName().isEmpty())
        return;
    const QString name = state->objectName();
    if (QTimer* timer = stateTimers.value(name, nullptr))
        timer->stop();
    if (HStateFunc func = exitFuncs.value(name, nullptr))
        func(this);
    QObject* object = exitObjects.value(name, nullptr);
    const QMetaMethod method = exitMethods.value(name);
    if (object && method.isValid())
        method.invoke(object, Qt::AutoConnection);
}
