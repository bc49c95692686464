#include "HViewProxyObject.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaEnum>
#include <QPushButton>
#include <QWidget>

namespace {

// printf with one argument; the format is the caller's and must take it.
QString printfInt(const QString& format, int value)
{
    return QString::asprintf(format.toUtf8().constData(), value);
}

QString printfDouble(const QString& format, double value)
{
    return QString::asprintf(format.toUtf8().constData(), value);
}

// Edited numbers are read in the C locale (as QString reads them), the one
// the panels' validators accept them in; text that is no number gives 0.
int editedInt(const QString& text)
{
    return text.toInt(nullptr, 10);
}

double editedDouble(const QString& text)
{
    return text.toDouble();
}

} // namespace

HViewProxyObject::HViewProxyObject(QObject* parent)
    : QObject(parent)
{
}

HViewProxyObject::~HViewProxyObject()
{
    clearBindings();
}

void HViewProxyObject::setTarget(QObject* obj)
{
    if (!obj || obj == m_target)
        return;
    clearBindings();
    m_target = obj;
    m_metaObject = obj->metaObject();

    const QMetaMethod changed = staticMetaObject.method(staticMetaObject.indexOfSlot("onPropertyChanged()"));
    for (int i = m_metaObject->propertyOffset(); i < m_metaObject->propertyCount(); ++i) {
        const QMetaProperty property = m_metaObject->property(i);
        const QString name = QString::fromLatin1(property.name());
        m_properties.insert(name, property);
        if (!property.hasNotifySignal())
            continue;
        const QMetaMethod notify = property.notifySignal();
        m_signalToProperty.insert(QString::fromLatin1(notify.name()), name);
        connect(obj, notify, this, changed);
    }
}

bool HViewProxyObject::bindWidget(const QString& propertyName, QWidget* widget, const QString& format)
{
    if (propertyName.isEmpty() || !widget)
        return false;
    const QMetaProperty property = m_properties.value(propertyName);
    if (!property.isValid())
        return false;

    bool bound = false;
    if (property.isEnumType()) {
        bound = bindEnum(propertyName, widget);
    } else {
        switch (property.userType()) {
        case QMetaType::Bool:
            bound = bindBool(propertyName, widget);
            break;
        case QMetaType::Int:
            bound = bindInt(propertyName, widget, format);
            break;
        case QMetaType::Double:
            bound = bindDouble(propertyName, widget, format);
            break;
        case QMetaType::QString:
            bound = bindString(propertyName, widget);
            break;
        default:
            return false;
        }
    }
    if (bound) {
        m_propertyWidgets.insert(propertyName, widget);
        m_formats.insert(widget, format);
    }
    return bound;
}

bool HViewProxyObject::storeSetter(QWidget* widget, const char* signature, int argType)
{
    const QMetaObject* meta = widget->metaObject();
    const int index = meta->indexOfSlot(QMetaObject::normalizedSignature(signature).constData());
    if (index < 0)
        return false;
    if (!m_setters.contains(widget)) {
        // The address may later be taken by another widget; whatever was
        // recorded for this one must not apply to it.
        connect(widget, &QObject::destroyed, this, [this, widget] { forgetWidget(widget); });
    }
    WidgetSlot& entry = m_setters[widget];
    entry.widget = widget;
    entry.setter = meta->method(index);
    entry.argType = argType;
    return true;
}

void HViewProxyObject::forgetWidget(const QWidget* widget)
{
    m_setters.remove(widget);
    m_formats.remove(widget);
    for (auto it = m_propertyWidgets.begin(); it != m_propertyWidgets.end();) {
        if (it.value().isNull())
            it = m_propertyWidgets.erase(it);
        else
            ++it;
    }
}

bool HViewProxyObject::bindEnum(const QString& propertyName, QWidget* widget)
{
    auto* combo = qobject_cast<QComboBox*>(widget);
    if (!combo || !storeSetter(widget, "setCurrentIndex(int)", QMetaType::Int))
        return false;
    const QMetaEnum keys = m_properties.value(propertyName).enumerator();
    for (int i = 0; i < keys.keyCount(); ++i)
        combo->addItem(QString::fromLatin1(keys.key(i)));
    combo->setCurrentIndex(readProperty(propertyName).toInt());
    connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this, propertyName](int index) { onEnumComboChanged(propertyName, index); });
    return true;
}

bool HViewProxyObject::bindBool(const QString& propertyName, QWidget* widget)
{
    // Check boxes, then push buttons; a push button that is not checkable
    // neither shows the value nor toggles.
    QAbstractButton* button = qobject_cast<QCheckBox*>(widget);
    if (!button)
        button = qobject_cast<QPushButton*>(widget);
    if (!button || !storeSetter(widget, "setChecked(bool)", QMetaType::Bool))
        return false;
    button->setChecked(readProperty(propertyName).toBool());
    connect(button, &QAbstractButton::toggled, this,
            [this, propertyName](bool checked) { onButtonToggled(propertyName, checked); });
    return true;
}

bool HViewProxyObject::bindText(const QString& propertyName, QWidget* widget, const QString& text,
                                EditWriteBack writeBack)
{
    auto* label = qobject_cast<QLabel*>(widget);
    auto* edit = label ? nullptr : qobject_cast<QLineEdit*>(widget);
    if ((!label && !edit) || !storeSetter(widget, "setText(const QString &)", QMetaType::QString))
        return false;
    if (label) {
        label->setText(text);
        return true;
    }
    edit->setText(text);
    connect(edit, &QLineEdit::editingFinished, this,
            [this, propertyName, edit, writeBack] { (this->*writeBack)(propertyName, edit); });
    return true;
}

bool HViewProxyObject::bindInt(const QString& propertyName, QWidget* widget, const QString& format)
{
    const int value = readProperty(propertyName).toInt();
    const QString text = format.isEmpty() ? QString::number(value) : printfInt(format, value);
    return bindText(propertyName, widget, text, &HViewProxyObject::onIntEditFinished);
}

bool HViewProxyObject::bindDouble(const QString& propertyName, QWidget* widget, const QString& format)
{
    const double value = readProperty(propertyName).toDouble();
    const QString text = format.isEmpty() ? QString::number(value, 'g', 6) : printfDouble(format, value);
    if (bindText(propertyName, widget, text, &HViewProxyObject::onDoubleEditFinished))
        return true;
    auto* combo = qobject_cast<QComboBox*>(widget);
    if (!combo || !storeSetter(widget, "setCurrentText(const QString &)", QMetaType::QString))
        return false;
    // Without a format the list shows the same 'g' text as a label would.
    combo->setCurrentText(text);
    connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this, propertyName, combo](int index) { onDoubleComboChanged(propertyName, combo, index); });
    return true;
}

bool HViewProxyObject::bindString(const QString& propertyName, QWidget* widget)
{
    return bindText(propertyName, widget, readProperty(propertyName).toString(),
                    &HViewProxyObject::onStringEditFinished);
}

void HViewProxyObject::clearBindings()
{
    // Cut the write-backs and the target's notify connections, so that
    // nothing of an earlier target reaches a later one.
    for (const WidgetSlot& entry : qAsConst(m_setters))
        if (entry.widget)
            disconnect(entry.widget, nullptr, this, nullptr);
    if (m_target)
        disconnect(m_target, nullptr, this, nullptr);
    m_properties.clear();
    m_propertyWidgets.clear();
    m_signalToProperty.clear();
    m_setters.clear();
    m_target = nullptr;
    m_metaObject = nullptr;
}

void HViewProxyObject::onPropertyChanged()
{
    const int signalIndex = senderSignalIndex();
    if (signalIndex < 0 || !m_metaObject || !m_target)
        return;
    const QString signalName = QString::fromLatin1(m_metaObject->method(signalIndex).name());
    const QString propertyName = m_signalToProperty.value(signalName);
    const QVariant value = readProperty(propertyName);
    if (value.isNull())
        return;

    // A copy: a shown value may set off edits that bind or forget widgets.
    const QList<QPointer<QWidget> > widgets = m_propertyWidgets.values(propertyName);
    for (const QPointer<QWidget>& widget : widgets) {
        if (!widget)
            continue;
        const auto entry = m_setters.constFind(widget.data());
        if (entry == m_setters.constEnd() || entry->widget != widget || entry->argType == QMetaType::UnknownType)
            continue;
        const QString format = m_formats.value(widget.data());
        switch (entry->argType) {
        case QMetaType::Bool:
            entry->setter.invoke(widget, Qt::AutoConnection, Q_ARG(bool, value.toBool()));
            break;
        case QMetaType::Int:
            entry->setter.invoke(widget, Qt::AutoConnection, Q_ARG(int, value.toInt()));
            break;
        case QMetaType::QString: {
            QString text;
            if (!format.isEmpty() && value.userType() == QMetaType::Int)
                text = printfInt(format, value.toInt());
            else if (!format.isEmpty() && value.userType() == QMetaType::Double)
                text = printfDouble(format, value.toDouble());
            else
                text = value.toString();
            entry->setter.invoke(widget, Qt::AutoConnection, Q_ARG(QString, text));
            break;
        }
        default:
            break;
        }
    }
}

QVariant HViewProxyObject::readProperty(const QString& propertyName) const
{
    if (!m_target)
        return QVariant();
    const QMetaProperty property = m_properties.value(propertyName);
    return property.isValid() ? property.read(m_target) : QVariant();
}

void HViewProxyObject::writeProperty(const QString& propertyName, const QVariant& value)
{
    if (m_target)
        m_target->setProperty(propertyName.toLatin1().constData(), value);
}

void HViewProxyObject::onEnumComboChanged(const QString& propertyName, int index)
{
    writeProperty(propertyName, index);
}

void HViewProxyObject::onButtonToggled(const QString& propertyName, bool checked)
{
    writeProperty(propertyName, checked);
}

void HViewProxyObject::onIntEditFinished(const QString& propertyName, const QWidget* edit)
{
    writeProperty(propertyName, editedInt(static_cast<const QLineEdit*>(edit)->text()));
}

void HViewProxyObject::onDoubleEditFinished(const QString& propertyName, const QWidget* edit)
{
    writeProperty(propertyName, editedDouble(static_cast<const QLineEdit*>(edit)->text()));
}

void HViewProxyObject::onDoubleComboChanged(const QString& propertyName, const QWidget* combo, int index)
{
    writeProperty(propertyName, editedDouble(static_cast<const QComboBox*>(combo)->itemText(index)));
}

void HViewProxyObject::onStringEditFinished(const QString& propertyName, const QWidget* edit)
{
    writeProperty(propertyName, static_cast<const QLineEdit*>(edit)->text());
}
