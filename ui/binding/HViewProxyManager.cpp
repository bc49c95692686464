#include "HViewProxyManager.h"

#include "HViewProxyObject.h"

#include <QWidget>

HViewProxyManager::HViewProxyManager(QObject* parent)
    : QObject(parent)
{
}

HViewProxyManager::~HViewProxyManager()
{
    qDeleteAll(m_proxies);
}

bool HViewProxyManager::registerObject(QObject* obj)
{
    if (!obj || obj->objectName().isEmpty())
        return false;
    const QString name = obj->objectName();
    m_objects.remove(name);
    delete m_proxies.take(name);

    m_objects.insert(name, obj);
    auto* proxy = new HViewProxyObject(nullptr);
    proxy->setTarget(obj);
    m_proxies.insert(name, proxy);
    connect(obj, SIGNAL(destroyed(QObject*)), this, SLOT(onObjectDestroyed(QObject*)));
    return true;
}

bool HViewProxyManager::bind(const QString& objectName, const QString& propertyName, QWidget* widget,
                             const QString& format)
{
    HViewProxyObject* proxy = m_proxies.value(objectName);
    if (!proxy || propertyName.isEmpty() || !widget)
        return false;
    proxy->bindWidget(propertyName, widget, format);
    return true;
}

void HViewProxyManager::onObjectDestroyed(QObject* obj)
{
    if (!obj)
        return;
    for (auto it = m_objects.begin(); it != m_objects.end(); ++it) {
        if (it.value() != obj)
            continue;
        const QString name = it.key();
        m_objects.erase(it);
        delete m_proxies.take(name);
        return;
    }
}
