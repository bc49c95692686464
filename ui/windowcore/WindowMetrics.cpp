#include "WindowMetrics.h"

#include <cmath>

namespace {

int up(double value)
{
    return int(std::ceil(value));
}

} // namespace

int titleBarHeightFor(double scale)
{
    return up(62 * scale);
}

WindowMetrics windowMetricsFor(int availableHeight)
{
    WindowMetrics m;
    const double s = availableHeight / 800.0;
    m.scale = s;
    m.minimumSize = QSize(int(1.2 * availableHeight), int(0.8 * availableHeight));
    m.treeWidth = int(218 * s + 40);
    m.panelWidth = int(260 * s + 40);
    m.titleBarHeight = titleBarHeightFor(s);
    m.axisFontPixels = up(11 * s);
    const QPair<const char*, int> sizes[] = {
        {"$font-size-s", up(13 * s)},  {"$font-size-m", up(15 * s)},  {"$font-size-l", up(24 * s)},
        {"$font-size-l-1", up(23 * s)}, {"$xRadius", up(4 * s)},      {"$xPadding", up(11 * s - 5)},
        {"$input-height", up(34 * s)}, {"$btn-min-width", up(62 * s)}, {"$tab-width", up(100 * s)},
    };
    for (const auto& size : sizes)
        m.variables.append({QString::fromLatin1(size.first), QStringLiteral("%1px").arg(size.second)});
    return m;
}
