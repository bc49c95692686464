#include "ScaleDraws.h"

#include "PlotGlobals.h"

#include <QDateTime>

namespace {

QwtText axisLabel(const QString& text)
{
    QwtText label(text);
    label.setFont(g_axisFont);
    return label;
}

} // namespace

QwtText SciScaleDraw::label(double value) const
{
    if (value >= 1.0 && value <= 99.0)
        return axisLabel(QString::number(value, 'g', 6));
    const QString sci = QString::number(value, 'e', 1);
    const int e = sci.indexOf(QLatin1Char('e'));
    const double mantissa = sci.left(e).toDouble();
    // Label values on a log axis are positive, so this singles out 1.0.
    if (mantissa - 1.0 < 1e-6)
        return axisLabel(QStringLiteral("<p>10<sup>%1</sup></p>").arg(sci.mid(e + 1).toInt()));
    return axisLabel(sci);
}

TimeScaleDraw::TimeScaleDraw()
    : QwtDateScaleDraw(Qt::LocalTime)
{
}

QwtText TimeScaleDraw::label(double value) const
{
    const auto msecs = static_cast<qint64>(value);
    return axisLabel(QDateTime::fromMSecsSinceEpoch(msecs).toString(QStringLiteral("hh:mm:ss")));
}

QwtText SimpleScaleDraw::label(double value) const
{
    return axisLabel(QString::number(value, 'g', 6));
}
