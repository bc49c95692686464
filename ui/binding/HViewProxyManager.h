#pragma once
// The registry of the property binding: objects are registered under their
// object names, and a property of a registered object is bound to a widget
// by the object's name. Each registered object gets its own proxy, which
// lives until the object is destroyed, until another object registers under
// the same name or until the manager goes.

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>

class HViewProxyObject;
class QWidget;

class HViewProxyManager : public QObject
{
    Q_OBJECT
public:
    explicit HViewProxyManager(QObject* parent = nullptr);
    ~HViewProxyManager() override;

    // Under the object's current name; a later rename is not followed. A
    // second object under a used name replaces the first one's bindings.
    bool registerObject(QObject* obj);
    // True when the request reached the object's proxy (the name is
    // registered, the property name is not empty and the widget not null),
    // whether or not that property could be bound to that kind of widget.
    bool bind(const QString& objectName, const QString& propertyName, QWidget* widget,
              const QString& format = QString());

public slots:
    void onObjectDestroyed(QObject* obj);

private:
    QMap<QString, QObject*> m_objects;
    QMap<QString, HViewProxyObject*> m_proxies;
};
