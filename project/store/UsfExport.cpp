#include "UsfExport.h"

#include "Data_Point.h"
#include "Data_Sample.h"

#include <QDateTime>

#include <cmath>

namespace {

bool isSounding(const Data_Point& p)
{
    return p.USE != 0 && !p.list_Data_Sample.isEmpty();
}

QString e5(double x)
{
    return QString::number(x, 'e', 5);
}

QString f5(double x)
{
    return QString::number(x, 'f', 5);
}

void writeSounding(QTextStream& out, Data_Line& line, Data_Point& p, int position, int soundingNo, bool divI)
{
    const double current = p.GetSendI();
    const double rampUs = p.GetOffTime();
    const QDateTime start = p.GetStartTime();
    const double baseFreq = p.GetSendFs();
    const double x = line.TYPE == 1 ? static_cast<double>(position) : p.NAME;
    QVector<double> v;
    QVector<double> t;
    p.GetRecvData(&v, &t, divI);
    const QVector<double> rsd = p.GetRSD();

    const QString date = start.isValid() ? start.toString(QStringLiteral("yyyyMMdd")) : QString();
    using namespace UsfExport;

    out << "/ARRAY: " << "CENTRAL LOOP TEM" << '\n';
    out << "/AZIMUTH:          0.0" << '\n';
    out << "/INSTRUMENT: " << '"' << "VODEZ-18" << '"' << '\n';
    out << "/LENGTH_UNITS: M " << '\n';
    out << "/VOLTAGE_UNITS: V/AMP " << '\n';
    out << "/DATE:           " << date << '\n';
    out << "/DAYTIME:        " << DayTime(start) << '\n';
    out << "/LOOP_SIZE:      " << Number(0.8862) << ",    " << Number(0.8862) << '\n';
    out << "/LOOP_TURNS:     " << 32 << '\n';
    out << "/RAMP_TIME:      " << RampTime(rampUs) << '\n';
    out << "/SWEEPS:         " << "1" << '\n';
    out << "/TIME_DELAY:     " << "0.0000000 " << '\n';
    out << "/POINTS:         " << v.size() << '\n';
    out << "/SOUNDING_NAME:  " << soundingNo << '\n';
    out << "/LOCATION:       " << Number(line.NAME) << ",      " << Number(x) << ",      0.00" << '\n';
    out << "/COIL_SIZE:      " << Number(15.024) << '\n';
    out << '\n';
    out << "/SWEEP_NUMBER:   " << "1" << '\n';
    out << "/CURRENT:        " << Number(current) << '\n';
    out << "/FREQUENCY:      " << Number(baseFreq) << '\n';
    out << "/END" << '\n';
    out << '\n';
    out << "      INDEX,     TIME,          VOLTAGE,     ERROR_BAR, MASK" << '\n';

    // Read with divI the values are per ampere of each sample's own current
    // already; dividing by the point's mean current again would not be V/A.
    const double perAmp = divI ? 1.0 : current;
    for (int h = 0; h < v.size(); ++h) {
        const double time = h < t.size() ? t[h] : 0.0;
        const double error = h < rsd.size() ? rsd[h] : 0.0;
        out << DataRow(h, time, v[h], perAmp, error) << '\n';
    }
    out << "/END" << '\n';
    out << '\n';
}

} // namespace

namespace UsfExport {

int CountSoundings(const QVector<std::shared_ptr<Data_Line> >& lines)
{
    int total = 0;
    for (const std::shared_ptr<Data_Line>& line : lines) {
        if (!line || line->USE == 0)
            continue;
        for (const std::shared_ptr<Data_Point>& p : line->list_Data_Point) {
            if (p && isSounding(*p))
                ++total;
        }
    }
    return total;
}

void Write(QTextStream& out, const QVector<std::shared_ptr<Data_Line> >& lines, bool divI,
           const ExportProgress& progress)
{
    out.reset();
    const int total = CountSoundings(lines);
    out << "//USF: Universal Sounding Format" << '\n';
    out << "//SOUNDINGS:          " << total << '\n';
    out << "//END" << '\n';
    out << '\n';

    int written = 0;
    for (const std::shared_ptr<Data_Line>& line : lines) {
        if (!line || line->USE == 0)
            continue;
        // A copy: the points are shared, the vector is not walked while it
        // could grow.
        const QVector<std::shared_ptr<Data_Point> > points = line->list_Data_Point;
        for (int i = 0; i < points.size(); ++i) {
            const std::shared_ptr<Data_Point>& p = points[i];
            if (!p || !isSounding(*p))
                continue;
            ++written;
            writeSounding(out, *line, *p, i, written, divI);
        }
        if (progress)
            progress(written, total);
    }
    out.reset();
}

QString Number(double x)
{
    QString text;
    QTextStream s(&text);
    s << x;
    s.flush();
    return text;
}

QString DayTime(const QDateTime& start)
{
    return f5(start.isValid() ? start.time().msecsSinceStartOfDay() / 3600000.0 : 0.0);
}

QString RampTime(double offUs)
{
    return QString::number(offUs / 1000000.0, 'f', 8);
}

QString DataRow(int h, double timeUs, double value, double current, double errorBar)
{
    return QStringLiteral("%1").arg(h + 1, 9, 10, QLatin1Char(' ')) + QStringLiteral(",    ")
        + e5(timeUs / 1000 / 1000) + QStringLiteral(",    ") + e5(std::fabs(value / current))
        + QStringLiteral(",    ") + f5(errorBar) + QStringLiteral(",    ") + QStringLiteral("1");
}

} // namespace UsfExport
