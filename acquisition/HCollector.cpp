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

void HTransition::setGuard(QObject* object, const QString& signature)
{
    const QMetaMethod method = findMethod(object, signature);
    if (!method.isValid())
        return;
    guardObject = object;
    guardMethod = method;
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

QState* HCollector::AddState(const QString& name, QState* parent, QState* state)
{
    if (name.isEmpty())
        return nullptr;
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

void HCollector::AddChildState(const QString& name, const QString& parentName, bool initial,
                               QState* state)
{
    QState* parent = states.value(parentName, nullptr);
    if (!parent)
        return;
    QState* child = AddState(name, parent, state);
    if (child && initial)
        parent->setInitialState(child);
}

bool HCollector::SetEntryFunc(const QString& name, HStateFunc func)
{
    if (!states.contains(name))
        return false;
    entryFuncs.insert(name, func);
    return true;
}

bool HCollector::SetExitFunc(const QString& name, HStateFunc func)
{
    if (!states.contains(name))
        return false;
    exitFuncs.insert(name, func);
    return true;
}

bool HCollector::bindMethod(const QString& name, QObject* object, const QString& signature,
                            QMap<QString, QObject*>& objects, QMap<QString, QMetaMethod>& methods)
{
    if (!states.contains(name) || !object)
        return false;
    const QMetaMethod method = findMethod(object, signature);
    if (!method.isValid())
        return false;
    objects.insert(name, object);
    methods.insert(name, method);
    return true;
}

bool HCollector::SetEntry(const QString& name, QObject* object, const QString& signature)
{
    return bindMethod(name, object, signature, entryObjects, entryMethods);
}

bool HCollector::SetExit(const QString& name, QObject* object, const QString& signature)
{
    return bindMethod(name, object, signature, exitObjects, exitMethods);
}

bool HCollector::AddTransition(const QString& from, const QString& to,
                               QAbstractTransition* transition)
{
    QState* source = states.value(from, nullptr);
    QState* target = states.value(to, nullptr);
    if (!source || !target || !transition)
        return false;
    const QString key = QStringLiteral("%1:%2").arg(from, to);
    transition->setObjectName(key);
    transition->setTargetState(target);
    source->addTransition(transition);
    transitions.insert(key, transition);
    return true;
}

bool HCollector::AddGuardFuncTransition(const QString& from, const QString& to, HGuardFunc guard)
{
    if (!guard)
        return false;
    auto* transition = new HTransition;
    transition->setGuardFunc(guard);
    transition->setParent(this);
    return AddTransition(from, to, transition);
}

bool HCollector::AddGuardTransition(const QString& from, const QString& to, QObject* object,
                                    const QString& signature)
{
    if (!object || signature.isEmpty())
        return false;
    auto* transition = new HTransition;
    transition->setGuard(object, signature);
    transition->setParent(this);
    return AddTransition(from, to, transition);
}

void HCollector::AddTimeout(const QString& from, const QString& to, int interval)
{
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setInterval(interval);
    timeoutTargets.insert(from, to);
    stateTimers.insert(from, timer);
    timerStates.insert(timer, from);
    auto* transition = new QSignalTransition(timer, &QTimer::timeout);
    transition->setParent(this);
    AddTransition(from, to, transition);
}

bool HCollector::WorkInit(QString initState)
{
    QState* state = states.value(initState, nullptr);
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
