#include "UsfExport.h"

#include "Data_Point.h"
#include "Data_Sample.h"
#include "DecayMath.h"
#include "OrderedText.h"
#include "SampleLookups.h"
#include "StoredCurves.h"

#include <QDateTime>

#include <cmath>
#include <ctime>

namespace {

// The C library's thread-safe local time, whose name and argument order
// differ between the platforms.
bool localTime(time_t seconds, tm* local)
{
#ifdef Q_OS_WIN
    return localtime_s(local, &seconds) == 0;
#else
    return localtime_r(&seconds, local) != nullptr;
#endif
}

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

// What a sounding block is made of, read on the calling thread: the stored
// arrays of the used samples, decoded, in list order, and the start time and
// frequency of the first entry, used or not.
struct SoundingRows
{
    double lineName = 0.0;
    double x = 0.0;
    int soundingNo = 0;
    int mode = 0;
    bool divI = false;
    QLocale locale;   // the stream's, for its ints
    PackedSamples used;
    double firstFreq = 0.0;
    // The first entry's start time as written, "/DATE:" and "/DAYTIME:": the
    // local time is worked out on the calling thread, as Qt's time zone
    // data is not to be set up from several threads at once.
    QString date;
    QString dayTime;
};

// Reads each sample's row once, through statements prepared once.
class SoundingReader
{
public:
    SoundingReader()
        : m_used(m_reads.prepare("SELECT StartTime, DATA_RECV, DATA_RECV_POS, DATA_SEND, DATA_SOFF, SendFs, "
                                 "SampleOffFs FROM Data_Sample WHERE ID = ?"))
        , m_first(m_reads.prepare("SELECT StartTime, SendFs FROM Data_Sample WHERE ID = ?"))
    {
    }

    // Leaves the point's samples light.
    void read(Data_Point& p, SoundingRows* rows)
    {
        rows->mode = StoredCurves::ModeOfPoint(p);
        const QVector<std::shared_ptr<Data_Sample> > samples = p.list_Data_Sample;
        const std::shared_ptr<Data_Sample> first = samples.isEmpty() ? nullptr : samples.first();
        rows->used.samples.reserve(samples.size());
        bool haveFirst = false;
        qint64 firstStart = 0;
        for (const std::shared_ptr<Data_Sample>& held : samples) {
            if (!held || held->USE == 0)
                continue;
            PackedSamples& packed = rows->used;
            qint64 startTime = held->StartTime;
            double sendFs = held->SendFs;
            if (SampleLookups::find(m_used, held->ID)) {
                PackedSamples::Sample a;
                // Room for the rest, as large as the first.
                if (packed.samples.isEmpty())
                    SampleLookups::reserve(*m_used, {1, 2, 4}, 3, samples.size(), &packed);
                startTime = m_used->integer64(0);
                a.recv = SampleLookups::pack(*m_used, 1, &packed);
                a.times = SampleLookups::pack(*m_used, 2, &packed);
                SampleLookups::packSend(*m_used, 3, &packed, &a);
                a.off = SampleLookups::pack(*m_used, 4, &packed);
                sendFs = m_used->real(5);
                a.offFs = m_used->real(6);
                packed.samples.append(a);
            } else {
                packed.addHeld(*held, true);
            }
            if (held == first) {
                haveFirst = true;
                firstStart = startTime;
                rows->firstFreq = sendFs;
            }
        }
        if (!haveFirst && first) {
            firstStart = first->StartTime;
            rows->firstFreq = first->SendFs;
            if (SampleLookups::find(m_first, first->ID)) {
                firstStart = m_first->integer64(0);
                rows->firstFreq = m_first->real(1);
            }
        }
        if (first)
            writeStart(firstStart, rows);
        else
            rows->dayTime = UsfExport::DayTime(QDateTime());
        SampleLookups::lighten(p.list_Data_Sample);
    }

private:
    // "/DATE:" and "/DAYTIME:" of a start time, in local time as
    // QDateTime::fromMSecsSinceEpoch gives it. From 1970 on Qt takes it from
    // localtime_r after asking the C library to read the time zone again,
    // which it then does from the disk for every sounding; Write has it read
    // once per export.
    void writeStart(qint64 ms, SoundingRows* rows)
    {
        const time_t seconds = time_t(ms / 1000);
        tm local;
        if (ms >= 0 && qint64(seconds) == ms / 1000 && localTime(seconds, &local)) {
            const QDate date(qint64(local.tm_year) + 1900, local.tm_mon + 1, local.tm_mday);
            const int msecs = ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + int(ms % 1000);
            if (date.isValid()) {
                rows->date = date.toString(QStringLiteral("yyyyMMdd"));
                rows->dayTime = UsfExport::DayTime(msecs);
                return;
            }
        }
        const QDateTime start = QDateTime::fromMSecsSinceEpoch(ms);
        rows->date = start.isValid() ? start.toString(QStringLiteral("yyyyMMdd")) : QString();
        rows->dayTime = UsfExport::DayTime(start);
    }

    SampleLookups m_reads;
    SqliteRows* m_used;
    SqliteRows* m_first;
};

// The text of one sounding block; touches nothing shared, so it runs on any
// thread.
QString soundingText(const SoundingRows& rows)
{
    const bool divI = rows.divI;
    double sumI = 0.0;
    double sumOff = 0.0;
    QList<QVector<double> > vl;
    QList<QVector<double> > tl;
    // The error bars come from the curves in mode 0 without the division by
    // the current, cut or padded to the length of the point's curve in its
    // own mode without it.
    QList<st_RecvData_DUD4004> rsdCurves;
    int rsdLength = 0;
    for (int i = 0; i < rows.used.samples.size(); ++i) {
        const SampleArrays s = rows.used.arrays(i);
        const double amps = s.current();
        sumI += amps;
        const double offUs = s.offTime();
        sumOff += offUs;
        QVector<double> v;
        QVector<double> t;
        s.curve(&v, &t, rows.mode, divI, offUs, amps);
        st_RecvData_DUD4004 rec;
        QVector<double> rt;
        if (rows.mode == 0 && !divI)
            rec.Values = v;
        else
            s.curve(&rec.Values, &rt, 0, false, offUs, amps);
        if (vl.isEmpty()) {
            if (divI) {
                QVector<double> lv;
                s.curve(&lv, &rt, rows.mode, false, offUs, amps);
                rsdLength = lv.size();
            } else {
                rsdLength = v.size();
            }
        }
        rsdCurves.append(rec);
        vl.append(v);
        tl.append(t);
    }
    const int used = rows.used.samples.size();
    const double current = used ? sumI / used : 0.0;
    const double rampUs = used ? sumOff / used : 0.0;
    const double baseFreq = rows.firstFreq;
    const double x = rows.x;
    QVector<double> v;
    QVector<double> t;
    StoredCurves::Stack(vl, tl, &v, &t);
    QVector<double> rsd = DecayMath::CalcGateRSD(rsdCurves);
    if (rsd.size() != rsdLength)
        rsd.resize(rsdLength);
    const int soundingNo = rows.soundingNo;

    QString text;
    QTextStream out(&text);
    out.setLocale(rows.locale);
    using namespace UsfExport;

    out << "/ARRAY: " << "CENTRAL LOOP TEM" << '\n';
    out << "/AZIMUTH:          0.0" << '\n';
    out << "/INSTRUMENT: " << '"' << "VODEZ-18" << '"' << '\n';
    out << "/LENGTH_UNITS: M " << '\n';
    out << "/VOLTAGE_UNITS: V/AMP " << '\n';
    out << "/DATE:           " << rows.date << '\n';
    out << "/DAYTIME:        " << rows.dayTime << '\n';
    out << "/LOOP_SIZE:      " << Number(0.8862) << ",    " << Number(0.8862) << '\n';
    out << "/LOOP_TURNS:     " << 32 << '\n';
    out << "/RAMP_TIME:      " << RampTime(rampUs) << '\n';
    out << "/SWEEPS:         " << "1" << '\n';
    out << "/TIME_DELAY:     " << "0.0000000 " << '\n';
    out << "/POINTS:         " << v.size() << '\n';
    out << "/SOUNDING_NAME:  " << soundingNo << '\n';
    out << "/LOCATION:       " << Number(rows.lineName) << ",      " << Number(x) << ",      0.00" << '\n';
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
    QString table;
    table.reserve(v.size() * 64);
    for (int h = 0; h < v.size(); ++h) {
        const double time = h < t.size() ? t[h] : 0.0;
        const double error = h < rsd.size() ? rsd[h] : 0.0;
        table += DataRow(h, time, v[h], perAmp, error);
        table += QLatin1Char('\n');
    }
    out << table;
    out << "/END" << '\n';
    out << '\n';
    out.flush();
    return text;
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

    tzset();   // for the reader's start times
    SoundingReader reader;
    int written = 0;
    {
        OrderedText pieces(out);
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
                auto rows = std::make_shared<SoundingRows>();
                rows->lineName = line->NAME;
                rows->x = line->TYPE == 1 ? static_cast<double>(i) : p->NAME;
                rows->soundingNo = written;
                rows->divI = divI;
                rows->locale = out.locale();
                reader.read(*p, rows.get());
                const SoundingRows* made = rows.get();
                pieces.text([made] { return soundingText(*made); }, rows);
            }
            if (progress)
                pieces.then([progress, written, total] { progress(written, total); });
        }
    }
    out.reset();
}

QString Number(double x)
{
    // What a text stream at its defaults writes.
    return QString::number(x, 'g', 6);
}

QString DayTime(const QDateTime& start)
{
    return DayTime(start.isValid() ? start.time().msecsSinceStartOfDay() : 0);
}

QString DayTime(int msecsOfDay)
{
    return f5(msecsOfDay / 3600000.0);
}

QString RampTime(double offUs)
{
    return QString::number(offUs / 1000000.0, 'f', 8);
}

QString DataRow(int h, double timeUs, double value, double current, double errorBar)
{
    const QLatin1String gap(",    ");
    QString row = QString::number(h + 1).rightJustified(9, QLatin1Char(' '));
    row.reserve(64);
    row += gap;
    row += e5(timeUs / 1000 / 1000);
    row += gap;
    row += e5(std::fabs(value / current));
    row += gap;
    row += f5(errorBar);
    row += gap;
    row += QLatin1Char('1');
    return row;
}

} // namespace UsfExport
