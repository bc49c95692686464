#include "TextListings.h"

#include "Data_Point.h"
#include "Data_Sample.h"
#include "OrmDao.h"

#include <QDateTime>

namespace {

const QChar T = QLatin1Char('\t');

// Right-aligned in a field of width characters; the stream's formatting is
// back at its defaults afterwards.
template <class V>
void padded(QTextStream& out, int width, const V& value)
{
    out.setFieldWidth(width);
    out.setFieldAlignment(QTextStream::AlignRight);
    out << value;
    out.reset();
}

// Points of any TYPE outside 0..2 are read as TEM soundings.
bool isListedPoint(Data_Point& p)
{
    if (static_cast<unsigned>(p.TYPE) > 2u)
        p.TYPE = 0;
    return p.TYPE == 0;
}

void writeCoil(QTextStream& out, const QString& indent, const st_ProjectConfig& c)
{
    out << indent << "SendCoil_Len : " << c.SendCoil_Len << '\n';
    out << indent << "SendCoil_Width : " << c.SendCoil_Width << '\n';
    out << indent << "SendCoil_Turns : " << c.SendCoil_Turns << '\n';
    out << indent << "RecvCoil_Size : " << c.RecvCoil_Size << '\n';
}

void writeSampleBlock(QTextStream& out, const Data_Sample& s, int position, const TextListings::DumpOptions& o)
{
    const QString tt = QStringLiteral("\t\t");
    out << tt << "Sample : " << position << '\n';
    out << tt << "Send Fs : " << s.SendFs << "Hz" << '\n';
    out << tt << "Send I : " << s.GetSendI() << "A" << '\n';
    out << tt << "Send Off Time : " << s.GetOffTime() << "us" << '\n';
    out << tt << "Sample Fs : " << s.RecvFs << "Hz" << '\n';
    if (!s.NOTE.isEmpty())
        out << tt << "Sample Note : " << s.NOTE << '\n';
    out << tt << "Data Type : " << s.TYPE << '\n';
    out << tt << "Data Use : " << s.USE << '\n';
    out << tt << "ARRAY : " << "Central Loop TEM" << '\n';
    writeCoil(out, tt, o.config);
    out << '\n';

    QVector<double> v;
    QVector<double> t;
    s.GetRecvData(&v, &t, 0, o.divI);
    out << tt << (s.TYPE != 0 ? "Data : " : "RAW Data : ") << v.size() << '\n';
    out << T;
    padded(out, 10, QStringLiteral("No"));
    out << T;
    padded(out, 10, QStringLiteral("TimePos"));
    out << T;
    padded(out, 10, QStringLiteral("Data"));
    out << '\n';
    for (int k = 0; k < v.size(); ++k) {
        out << T;
        padded(out, 10, k);
        out << T;
        padded(out, 10, k < t.size() ? t[k] : 0.0);
        out << T;
        padded(out, 10, v[k]);
        out << '\n';
    }
    out << '\n';
}

void writePointBlock(QTextStream& out, Data_Point& p, const TextListings::DumpOptions& o)
{
    QVector<double> v;
    QVector<double> t;
    p.GetRecvData(&v, &t, o.divI);

    // The rates of the point's first sample as stored (the list is light
    // now, so the receiver rate is read from the file); a point without
    // samples has neither and shows 0.
    double sendFs = 0.0;
    double recvFs = 0.0;
    if (!p.list_Data_Sample.isEmpty() && p.list_Data_Sample.first()) {
        Data_Sample first = *p.list_Data_Sample.first();
        orm::dao::fetch_by_id(first, nullptr, {QStringLiteral("SendFs"), QStringLiteral("RecvFs")});
        sendFs = first.SendFs;
        recvFs = first.RecvFs;
    }

    const QString tt = QStringLiteral("\t\t");
    out << tt << "ARRAY : " << "Central Loop TEM" << '\n';
    writeCoil(out, tt, o.config);
    out << tt << "Send Fs : " << sendFs << " ;" << T << "Sample Fs : " << recvFs << '\n';
    out << tt;
    padded(out, 20, QStringLiteral("Time(us)"));
    out << tt;
    padded(out, 20, QStringLiteral("VOLTAGE(v)"));
    out << '\n';
    for (int k = 0; k < v.size(); ++k) {
        out << tt;
        padded(out, 20, k < t.size() ? t[k] : 0.0);
        out << "," << tt;
        padded(out, 20, v[k]);
        out << '\n';
    }
}

int countBlocks(const QVector<std::shared_ptr<Data_Line> >& lines, int depth)
{
    int total = 0;
    for (const std::shared_ptr<Data_Line>& line : lines) {
        if (!line || line->USE == 0)
            continue;
        if (depth == 0) {
            total += line->list_Data_Point.size();
            continue;
        }
        for (const std::shared_ptr<Data_Point>& p : line->list_Data_Point) {
            if (p && p->USE != 0)
                total += p->list_Data_Sample.size();
        }
    }
    return total;
}

} // namespace

namespace TextListings {

void WriteData(QTextStream& out, const QVector<std::shared_ptr<Data_Line> >& lines, const DumpOptions& options,
               const ExportProgress& progress)
{
    const int total = countBlocks(lines, options.depth);
    int blocks = 0;
    auto blockDone = [&]() {
        ++blocks;
        if (progress)
            progress(blocks, total);
    };

    for (const std::shared_ptr<Data_Line>& line : lines) {
        if (!line || line->USE == 0)
            continue;
        const QVector<std::shared_ptr<Data_Point> > points = line->list_Data_Point;
        out << "Line : " << line->NAME << '\n';
        if (!line->NOTE.isEmpty())
            out << "Line Note : " << line->NOTE << '\n';
        out << "Line Use : " << line->USE << '\n';
        out << "Point Number : " << points.size() << '\n';
        for (const std::shared_ptr<Data_Point>& p : points) {
            if (!p || p->USE == 0 || !isListedPoint(*p))
                continue;
            out << T << "Point : " << p->NAME << '\n';
            if (!p->NOTE.isEmpty())
                out << T << "Point Note : " << p->NOTE << '\n';
            out << T << "Point Use : " << p->USE << '\n';
            out << T << "Sample Number : " << p->list_Data_Sample.size() << '\n';
            if (options.depth == 1) {
                const QVector<std::shared_ptr<Data_Sample> > samples = p->list_Data_Sample;
                for (int j = 0; j < samples.size(); ++j) {
                    if (!samples[j] || samples[j]->USE == 0)
                        continue;
                    // A whole copy: the point's own samples stay light.
                    Data_Sample whole = *samples[j];
                    orm::dao::fetch_by_id(whole);
                    writeSampleBlock(out, whole, j, options);
                    blockDone();
                }
            } else if (options.depth == 0) {
                writePointBlock(out, *p, options);
                blockDone();
            }
        }
        out << '\n';
    }
}

void WriteLog(QTextStream& out, const QVector<std::shared_ptr<Data_Line> >& lines)
{
    for (const std::shared_ptr<Data_Line>& line : lines) {
        if (!line || line->USE == 0)
            continue;
        out << "LINE " << line->NAME << " : " << line->NOTE << '\n';
        const QVector<std::shared_ptr<Data_Point> > points = line->list_Data_Point;
        for (const std::shared_ptr<Data_Point>& p : points) {
            if (!p || p->USE == 0)
                continue;
            out << "|---" << "POINT " << p->NAME << " : " << p->NOTE << '\n';
            const QVector<std::shared_ptr<Data_Sample> > samples = p->list_Data_Sample;
            for (int j = 0; j < samples.size(); ++j) {
                const std::shared_ptr<Data_Sample>& s = samples[j];
                if (!s || s->USE == 0)
                    continue;
                // Samples are held without their notes; read the stored one.
                orm::dao::fetch_by_id(*s, nullptr, {QStringLiteral("NOTE")});
                out << "    " << "|---" << "SAMPLE " << j << " : " << s->NOTE << '\n';
            }
        }
        out << '\n';
    }
}

void WritePointTime(QTextStream& out, const QVector<std::shared_ptr<Data_Line> >& lines)
{
    for (const std::shared_ptr<Data_Line>& line : lines) {
        if (!line || line->USE == 0)
            continue;
        out << "LINE : " << line->NAME << '\n';
        const QVector<std::shared_ptr<Data_Point> > points = line->list_Data_Point;
        for (const std::shared_ptr<Data_Point>& p : points) {
            if (!p || p->USE == 0)
                continue;
            const QDateTime start = p->GetStartTime();
            out << "    " << p->NAME << " , " << start.toString(QStringLiteral("yyyy.MM.dd hh:mm:ss")) << '\n';
        }
        out << '\n';
    }
}

} // namespace TextListings
