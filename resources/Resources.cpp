#include "Resources.h"

#include <QtCore/qglobal.h>

// Q_INIT_RESOURCE must be used outside any namespace.
static bool initResourcesOnce()
{
    Q_INIT_RESOURCE(resources);
    return true;
}

void initVodezResources()
{
    static const bool registered = initResourcesOnce();
    Q_UNUSED(registered);
}
