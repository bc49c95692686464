#pragma once
// Tick-label writers of the decay plot's axes. Each changes only the text of
// a label; ticks, backbone and placement stay Qwt's. Labels take a copy of
// g_axisFont at the moment they are made, so a later font change shows in
// later labels.

#include <qwt_date_scale_draw.h>
#include <qwt_scale_draw.h>

// Logarithmic axes: plain numbers from 1 to 99, powers of ten as rich text
// (10 with a raised exponent), everything else in one-digit "e" form.
class SciScaleDraw : public QwtScaleDraw
{
public:
    QwtText label(double value) const override;
};

// Time axes: milliseconds since the epoch as local clock times "hh:mm:ss".
class TimeScaleDraw : public QwtDateScaleDraw
{
public:
    TimeScaleDraw();
    QwtText label(double value) const override;
};

// Linear axes: six significant digits.
class SimpleScaleDraw : public QwtScaleDraw
{
public:
    QwtText label(double value) const override;
};
