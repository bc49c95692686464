#pragma once
// Comparisons for decay curves: NaN equals NaN, infinities must match
// exactly, finite values within a relative tolerance.
#include <QString>
#include <QVector>
#include <QtTest>

#include <algorithm>
#include <cmath>

using Vec = QVector<double>;

inline bool sameValue(double a, double b, double rel = 1e-12)
{
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    if (a == b)
        return true;
    if (std::isinf(a) || std::isinf(b))
        return false;
    return std::fabs(a - b) <= rel * std::max(std::fabs(a), std::fabs(b));
}

inline QString describe(const Vec& v)
{
    QStringList parts;
    for (double x : v)
        parts << QString::number(x, 'g', 17);
    return QStringLiteral("(") + parts.join(QStringLiteral(", ")) + QStringLiteral(")");
}

#define COMPARE_VEC(actual, expected)                                                         \
    do {                                                                                      \
        const Vec a_ = (actual);                                                              \
        const Vec e_ = (expected);                                                            \
        bool ok_ = a_.size() == e_.size();                                                    \
        for (int i_ = 0; ok_ && i_ < a_.size(); ++i_)                                         \
            ok_ = sameValue(a_[i_], e_[i_]);                                                  \
        QVERIFY2(ok_, qPrintable(QStringLiteral(#actual " = ") + describe(a_)                 \
                                 + QStringLiteral("\n   expected ") + describe(e_)));         \
    } while (0)

#define COMPARE_VALUE(actual, expected)                                                       \
    QVERIFY2(sameValue((actual), (expected)),                                                 \
             qPrintable(QStringLiteral(#actual " = %1, expected %2")                          \
                            .arg(double(actual), 0, 'g', 17).arg(double(expected), 0, 'g', 17)))

// A big-endian double blob, as the project file stores arrays.
inline QByteArray blobOf(const Vec& v)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    for (double x : v)
        s << x;
    return out;
}
