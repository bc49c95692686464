#pragma once
// How stored curves combine: the stack of a point's sample curves and the
// section of a line's point curves. The readers of the persistent classes
// use them with curves they fetch sample by sample; the line assembly uses
// them with curves read in bulk, so both give the same numbers.

#include "Data_Point.h"

#include <QList>
#include <QVector>

#include <functional>
#include <memory>

namespace StoredCurves {

// Processing mode of a point's curves from its TYPE: 0 and 1 as they are,
// 2 as a TEM sounding, anything else is reset to 0 in memory (not stored).
int ModeOfPoint(Data_Point& point);

// The stack of one point's curves (see Data_Point::GetRecvData): the mean
// over the common length, the first curve's values beyond it and its times.
// Empty when there is no curve or the two lists differ in length.
void Stack(const QList<QVector<double> >& values, const QList<QVector<double> >& times, QVector<double>* stacked,
           QVector<double>* stackedTimes);

// The section of points first..last (see Data_Line::GetRecvData), each
// point's curve from curveOf. Iterates over its own copy of the list.
void Section(const QVector<std::shared_ptr<Data_Point> > points, int first, int last, bool transpose,
             const std::function<void(Data_Point&, QVector<double>*, QVector<double>*)>& curveOf,
             QVector<QVector<double> >* matrix, QVector<double>* times, QVector<double>* names);

} // namespace StoredCurves
