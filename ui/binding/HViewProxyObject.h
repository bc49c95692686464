#pragma once
// Keeps the widgets bound to the properties of one object in step with them:
// a property's notify signal refreshes every widget bound to it, and an
// operator's edit in a bound widget is written back into the property. Only
// the properties the object's own class declares can be bound.

#include <QHash>
#include <QMap>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QMultiMap>
#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

class HViewProxyObject : public QObject
{
    Q_OBJECT
public:
    explicit HViewProxyObject(QObject* parent = nullptr);
    ~HViewProxyObject() override;

    // obj must not be null. A new target drops every binding of the old one.
    void setTarget(QObject* obj);
    // Binds by the property's type; false (and nothing recorded) for a name
    // that is not an own property, a type without a binder or a widget the
    // binder does not handle. An empty format means the type's plain text.
    bool bindWidget(const QString& propertyName, QWidget* widget, const QString& format);
    bool bindEnum(const QString& propertyName, QWidget* widget);
    bool bindInt(const QString& propertyName, QWidget* widget, const QString& format);
    bool bindBool(const QString& propertyName, QWidget* widget);
    bool bindDouble(const QString& propertyName, QWidget* widget, const QString& format);
    bool bindString(const QString& propertyName, QWidget* widget);
    void clearBindings();

public slots:
    void onPropertyChanged();

private:
    // What a bound widget is shown through. The widget is held guarded: the
    // target may outlive the window its widgets belong to, and a notify
    // signal during the window's teardown must find a dead widget gone.
    struct WidgetSlot
    {
        QPointer<QWidget> widget;
        QMetaMethod setter;
        int argType = QMetaType::UnknownType;
    };

    // Records the slot that shows a value and forgets the widget once it is
    // destroyed; false when the widget's class has no such slot.
    bool storeSetter(QWidget* widget, const char* signature, int argType);
    void forgetWidget(const QWidget* widget);
    using EditWriteBack = void (HViewProxyObject::*)(const QString& propertyName, const QWidget* edit);
    // Shows text in a label or a line edit; an edit's finished text goes
    // back through writeBack. False for any other kind of widget.
    bool bindText(const QString& propertyName, QWidget* widget, const QString& text, EditWriteBack writeBack);
    QVariant readProperty(const QString& propertyName) const;
    void writeProperty(const QString& propertyName, const QVariant& value);

    void onEnumComboChanged(const QString& propertyName, int index);
    void onButtonToggled(const QString& propertyName, bool checked);
    void onIntEditFinished(const QString& propertyName, const QWidget* edit);
    void onDoubleEditFinished(const QString& propertyName, const QWidget* edit);
    void onDoubleComboChanged(const QString& propertyName, const QWidget* combo, int index);
    void onStringEditFinished(const QString& propertyName, const QWidget* edit);

    QPointer<QObject> m_target;
    const QMetaObject* m_metaObject = nullptr;
    QMap<QString, QMetaProperty> m_properties;
    // Newest binding first among equal names.
    QMultiMap<QString, QPointer<QWidget> > m_propertyWidgets;
    QMap<QString, QString> m_signalToProperty;
    // Keyed by the widget's address only as its identity; the entry itself
    // holds the guarded pointer that is used.
    QHash<const QWidget*, WidgetSlot> m_setters;
    QHash<const QWidget*, QString> m_formats;
};
