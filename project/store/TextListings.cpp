#include "TextListings.h"

#include "Data_Point.h"
#include "Data_Sample.h"
#include "OrderedText.h"
#include "SampleLookups.h"
#include "StoredCurves.h"

#include <QDateTime>
#include <QLocale>

#include <functional>
#include <memory>

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

// What padded() writes for a number into a stream at its defaults in the C
// locale: the table rows are built as text in one go. (The stream writes a
// double as QString::number does with 'g' and 6 digits.)
QString field(int width, int x)
{
    return QString::number(x).rightJustified(width, QLatin1Char(' '));
}
QString field(int width, double x)
{
    return QString::number(x, 'g', 6).rightJustified(width, QLatin1Char(' '));
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

// What a sample block is made of: the sample's stored columns (those it
// holds when its row is gone).
struct BlockContext;

struct SampleRows
{
    const BlockContext* context = nullptr;
    bool first = false;   // the dump's first block
    int position = 0;     // in the point's list
    PackedSamples arrays;
    double sendFs = 0.0;
    double recvFs = 1.0;
    QString note;
    int type = 0;
    int use = 0;
};

void writeBlock(QTextStream& out, const SampleRows& s, const TextListings::DumpOptions& o, bool cLocale)
{
    const int position = s.position;
    const QString tt = QStringLiteral("\t\t");
    const SampleArrays arrays = s.arrays.arrays(0);
    const double amps = arrays.current();
    const double offUs = arrays.offTime();
    out << tt << "Sample : " << position << '\n';
    out << tt << "Send Fs : " << s.sendFs << "Hz" << '\n';
    out << tt << "Send I : " << amps << "A" << '\n';
    out << tt << "Send Off Time : " << offUs << "us" << '\n';
    out << tt << "Sample Fs : " << s.recvFs << "Hz" << '\n';
    if (!s.note.isEmpty())
        out << tt << "Sample Note : " << s.note << '\n';
    out << tt << "Data Type : " << s.type << '\n';
    out << tt << "Data Use : " << s.use << '\n';
    out << tt << "ARRAY : " << "Central Loop TEM" << '\n';
    writeCoil(out, tt, o.config);
    out << '\n';

    QVector<double> v;
    QVector<double> t;
    arrays.curve(&v, &t, 0, o.divI, offUs, amps);
    out << tt << (s.type != 0 ? "Data : " : "RAW Data : ") << v.size() << '\n';
    out << T;
    padded(out, 10, QStringLiteral("No"));
    out << T;
    padded(out, 10, QStringLiteral("TimePos"));
    out << T;
    padded(out, 10, QStringLiteral("Data"));
    out << '\n';
    if (cLocale) {
        QString table;
        table.reserve(v.size() * 36);
        for (int k = 0; k < v.size(); ++k) {
            table += T;
            table += field(10, k);
            table += T;
            table += field(10, k < t.size() ? t[k] : 0.0);
            table += T;
            table += field(10, v[k]);
            table += QLatin1Char('\n');
        }
        out << table;
    } else {
        for (int k = 0; k < v.size(); ++k) {
            out << T;
            padded(out, 10, k);
            out << T;
            padded(out, 10, k < t.size() ? t[k] : 0.0);
            out << T;
            padded(out, 10, v[k]);
            out << '\n';
        }
    }
    out << '\n';
}

// What a point block is made of: the decoded arrays of the used samples'
// curves, in list order, and the rates of the first entry.
struct PointRows
{
    const BlockContext* context = nullptr;
    bool first = false;   // the dump's first block
    PackedSamples used;
    double sendFs = 0.0;
    double recvFs = 0.0;
};

// The formatting a block starts with, so a block made apart from the stream
// reads as if written into it: the stream's own settings before the first
// block, its defaults after any (a block ends with them), and its locale.
struct BlockFormat
{
    explicit BlockFormat(const QTextStream& s)
        : locale(s.locale())
        , precision(s.realNumberPrecision())
        , notation(s.realNumberNotation())
        , fieldWidth(s.fieldWidth())
        , alignment(s.fieldAlignment())
        , padChar(s.padChar())
        , integerBase(s.integerBase())
        , numberFlags(s.numberFlags())
    {
    }
    void apply(QTextStream& s, bool first) const
    {
        s.setLocale(locale);
        if (!first)
            return;
        s.setRealNumberPrecision(precision);
        s.setRealNumberNotation(notation);
        s.setFieldWidth(fieldWidth);
        s.setFieldAlignment(alignment);
        s.setPadChar(padChar);
        s.setIntegerBase(integerBase);
        s.setNumberFlags(numberFlags);
    }

    QLocale locale;
    int precision;
    QTextStream::RealNumberNotation notation;
    int fieldWidth;
    QTextStream::FieldAlignment alignment;
    QChar padChar;
    int integerBase;
    QTextStream::NumberFlags numberFlags;
};

// What every block of a dump is written with.
struct BlockContext
{
    const BlockFormat* format = nullptr;
    const TextListings::DumpOptions* options = nullptr;
    bool cLocale = true;
};

// A block's text, made in a stream set up as the context says.
template <class Rows>
QString blockText(const Rows& rows)
{
    QString text;
    QTextStream s(&text);
    rows.context->format->apply(s, rows.first);
    writeBlock(s, rows, *rows.context->options, rows.context->cLocale);
    s.flush();
    return text;
}

// The rows the dump reads, each sample's once: a listed sample whole as far
// as its block goes, a used sample's curve columns, and the rates of a
// point's first sample.
class DumpReader
{
public:
    explicit DumpReader(bool divI)
        : m_divI(divI)
        , m_whole(m_reads.prepare("SELECT TYPE, USE, DATA_RECV, DATA_RECV_POS, DATA_SEND, DATA_SOFF, SendFs, "
                                  "SampleOffFs, RecvFs, NOTE FROM Data_Sample WHERE ID = ?"))
        , m_curve(m_reads.prepare(divI ? "SELECT DATA_RECV, DATA_RECV_POS, DATA_SOFF, SendFs, SampleOffFs, RecvFs, "
                                         "DATA_SEND FROM Data_Sample WHERE ID = ?"
                                       : "SELECT DATA_RECV, DATA_RECV_POS, DATA_SOFF, SendFs, SampleOffFs, RecvFs "
                                         "FROM Data_Sample WHERE ID = ?"))
        , m_rates(m_reads.prepare("SELECT SendFs, RecvFs FROM Data_Sample WHERE ID = ?"))
    {
    }

    // The stored columns of a sample's block. False when its row could not
    // be read or its arrays held (status() says why): the dump stops.
    bool sampleRows(const Data_Sample& held, SampleRows* rows)
    {
        PackedSamples& packed = rows->arrays;
        const SampleLookups::Row row = m_reads.find(m_whole, held.ID);
        if (row == SampleLookups::Row::Failed)
            return false;
        if (row == SampleLookups::Row::Found) {
            rows->type = m_whole->integer(0);
            rows->use = m_whole->integer(1);
            PackedSamples::Sample a;
            SampleLookups::reserve(*m_whole, {2, 3, 5}, 4, 1, &packed);
            a.recv = SampleLookups::pack(*m_whole, 2, &packed);
            a.times = SampleLookups::pack(*m_whole, 3, &packed);
            SampleLookups::packSend(*m_whole, 4, &packed, &a);
            a.off = SampleLookups::pack(*m_whole, 5, &packed);
            rows->sendFs = m_whole->real(6);
            a.offFs = m_whole->real(7);
            rows->recvFs = m_whole->real(8);
            rows->note = m_whole->text(9);
            packed.samples.append(a);
        } else {
            rows->sendFs = held.SendFs;
            rows->recvFs = held.RecvFs;
            rows->note = held.NOTE;
            rows->type = held.TYPE;
            rows->use = held.USE;
            packed.addHeld(held, true);
        }
        return m_reads.fits(packed);
    }

    // The used samples of a point with the columns of their curves, and the
    // stored rates of its first sample (0 without samples; those it holds
    // when its row is gone); leaves its samples light. False as sampleRows.
    bool pointRows(Data_Point& p, PointRows* rows)
    {
        const QVector<std::shared_ptr<Data_Sample> > samples = p.list_Data_Sample;
        const std::shared_ptr<Data_Sample> first = samples.isEmpty() ? nullptr : samples.first();
        rows->used.samples.reserve(samples.size());
        bool haveRates = false;
        for (const std::shared_ptr<Data_Sample>& held : samples) {
            if (!held || held->USE == 0)
                continue;
            PackedSamples& packed = rows->used;
            double sendFs = held->SendFs;
            double recvFs = held->RecvFs;
            const SampleLookups::Row row = m_reads.find(m_curve, held->ID);
            if (row == SampleLookups::Row::Failed)
                return false;
            if (row == SampleLookups::Row::Found) {
                PackedSamples::Sample a;
                // Room for the rest, as large as the first.
                if (packed.samples.isEmpty() && m_divI)
                    SampleLookups::reserve(*m_curve, {0, 1, 2}, 6, samples.size(), &packed);
                else if (packed.samples.isEmpty())
                    SampleLookups::reserve(*m_curve, {0, 1, 2}, -1, samples.size(), &packed);
                a.recv = SampleLookups::pack(*m_curve, 0, &packed);
                a.times = SampleLookups::pack(*m_curve, 1, &packed);
                a.off = SampleLookups::pack(*m_curve, 2, &packed);
                sendFs = m_curve->real(3);
                a.offFs = m_curve->real(4);
                recvFs = m_curve->real(5);
                if (m_divI)
                    SampleLookups::packSend(*m_curve, 6, &packed, &a);
                packed.samples.append(a);
            } else {
                packed.addHeld(*held, m_divI);
            }
            if (!m_reads.fits(packed))
                return false;
            if (held == first) {
                haveRates = true;
                rows->sendFs = sendFs;
                rows->recvFs = recvFs;
            }
        }
        if (first && !haveRates) {
            rows->sendFs = first->SendFs;
            rows->recvFs = first->RecvFs;
            const SampleLookups::Row row = m_reads.find(m_rates, first->ID);
            if (row == SampleLookups::Row::Failed)
                return false;
            if (row == SampleLookups::Row::Found) {
                rows->sendFs = m_rates->real(0);
                rows->recvFs = m_rates->real(1);
            }
        }
        SampleLookups::lighten(p.list_Data_Sample);
        return true;
    }

    const ExportStatus& status() const { return m_reads.status(); }

private:
    SampleLookups m_reads;
    bool m_divI;
    SqliteRows* m_whole;
    SqliteRows* m_curve;
    SqliteRows* m_rates;
};

void writeBlock(QTextStream& out, const PointRows& rows, const TextListings::DumpOptions& o, bool cLocale)
{
    // The point's stacked curve, processed in mode 0 (only TEM points are
    // listed).
    QList<QVector<double> > vl;
    QList<QVector<double> > tl;
    for (int i = 0; i < rows.used.samples.size(); ++i) {
        const SampleArrays s = rows.used.arrays(i);
        QVector<double> v;
        QVector<double> t;
        s.curve(&v, &t, 0, o.divI, s.offTime(), o.divI ? s.current() : 1.0);
        vl.append(v);
        tl.append(t);
    }
    QVector<double> v;
    QVector<double> t;
    StoredCurves::Stack(vl, tl, &v, &t);
    const double sendFs = rows.sendFs;
    const double recvFs = rows.recvFs;

    const QString tt = QStringLiteral("\t\t");
    out << tt << "ARRAY : " << "Central Loop TEM" << '\n';
    writeCoil(out, tt, o.config);
    out << tt << "Send Fs : " << sendFs << " ;" << T << "Sample Fs : " << recvFs << '\n';
    out << tt;
    padded(out, 20, QStringLiteral("Time(us)"));
    out << tt;
    padded(out, 20, QStringLiteral("VOLTAGE(v)"));
    out << '\n';
    if (cLocale) {
        QString table;
        table.reserve(v.size() * 48);
        for (int k = 0; k < v.size(); ++k) {
            table += tt;
            table += field(20, k < t.size() ? t[k] : 0.0);
            table += QLatin1Char(',');
            table += tt;
            table += field(20, v[k]);
            table += QLatin1Char('\n');
        }
        out << table;
    } else {
        for (int k = 0; k < v.size(); ++k) {
            out << tt;
            padded(out, 20, k < t.size() ? t[k] : 0.0);
            out << "," << tt;
            padded(out, 20, v[k]);
            out << '\n';
        }
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

ExportStatus WriteData(QTextStream& out, const QVector<std::shared_ptr<Data_Line> >& lines,
                       const DumpOptions& options, const ExportProgress& progress)
{
    const int total = countBlocks(lines, options.depth);
    DumpReader reader(options.divI);
    // Read by the blocks made on other threads, until the pieces are written.
    const BlockFormat format(out);
    BlockContext context;
    context.format = &format;
    context.options = &options;
    context.cLocale = out.locale() == QLocale::c();
    OrderedText pieces(out);
    int blocks = 0;
    ExportStatus status;
    // The line and point headers are made here, in a stream formatted as the
    // output is where they go: as the caller left it before the first block,
    // at its defaults from the first block on, as padded() leaves it.
    QString headers;
    QTextStream h(&headers);
    format.apply(h, true);
    const auto writeHeaders = [&] {
        if (headers.isEmpty())
            return;
        pieces.ready(headers);
        headers.clear();
    };
    // Each block is made apart and written after what comes before it.
    const ExportProgress* report = progress ? &progress : nullptr;
    auto block = [&](auto rows) {
        writeHeaders();
        rows->context = &context;
        rows->first = blocks == 0;
        if (rows->first) {
            pieces.then([&out] { out.reset(); });
            h.reset();
        }
        const auto* made = rows.get();
        pieces.text([made] { return blockText(*made); }, std::move(rows));
        ++blocks;
        if (report)
            pieces.then([report, done = blocks, total] { (*report)(done, total); });
        status = pieces.status();
    };

    for (const std::shared_ptr<Data_Line>& line : lines) {
        if (!status.ok())
            break;
        if (!line || line->USE == 0)
            continue;
        const QVector<std::shared_ptr<Data_Point> > points = line->list_Data_Point;
        h << "Line : " << line->NAME << '\n';
        if (!line->NOTE.isEmpty())
            h << "Line Note : " << line->NOTE << '\n';
        h << "Line Use : " << line->USE << '\n';
        h << "Point Number : " << points.size() << '\n';
        for (const std::shared_ptr<Data_Point>& p : points) {
            if (!status.ok())
                break;
            if (!p || p->USE == 0 || !isListedPoint(*p))
                continue;
            h << T << "Point : " << p->NAME << '\n';
            if (!p->NOTE.isEmpty())
                h << T << "Point Note : " << p->NOTE << '\n';
            h << T << "Point Use : " << p->USE << '\n';
            h << T << "Sample Number : " << p->list_Data_Sample.size() << '\n';
            if (options.depth == 1) {
                const QVector<std::shared_ptr<Data_Sample> > samples = p->list_Data_Sample;
                for (int j = 0; j < samples.size() && status.ok(); ++j) {
                    if (!samples[j] || samples[j]->USE == 0)
                        continue;
                    // A whole copy: the point's own samples stay light.
                    auto whole = std::make_shared<SampleRows>();
                    whole->position = j;
                    if (!reader.sampleRows(*samples[j], whole.get()))
                        status = reader.status();
                    else
                        block(std::move(whole));
                }
            } else if (options.depth == 0) {
                auto rows = std::make_shared<PointRows>();
                if (!reader.pointRows(*p, rows.get()))
                    status = reader.status();
                else
                    block(std::move(rows));
            }
        }
        h << '\n';
    }
    // Nothing more is written once a row could not be read or a block made;
    // the caller drops what was.
    if (status.ok()) {
        writeHeaders();
        pieces.finish();
        status = pieces.status();
    }
    if (!status.ok())
        pieces.discard();
    return status;
}

ExportStatus WriteLog(QTextStream& out, const QVector<std::shared_ptr<Data_Line> >& lines)
{
    SampleLookups reads;
    SqliteRows* notes = reads.prepare("SELECT NOTE FROM Data_Sample WHERE ID = ?");
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
                // Samples are held without their notes; read the stored one
                // into the object.
                const SampleLookups::Row row = reads.find(notes, s->ID);
                if (row == SampleLookups::Row::Failed)
                    return reads.status();
                if (row == SampleLookups::Row::Found)
                    s->NOTE = notes->text(0);
                out << "    " << "|---" << "SAMPLE " << j << " : " << s->NOTE << '\n';
            }
        }
        out << '\n';
    }
    return ExportStatus();
}

ExportStatus WritePointTime(QTextStream& out, const QVector<std::shared_ptr<Data_Line> >& lines)
{
    SampleLookups reads;
    SqliteRows* starts = reads.prepare("SELECT StartTime FROM Data_Sample WHERE ID = ?");
    for (const std::shared_ptr<Data_Line>& line : lines) {
        if (!line || line->USE == 0)
            continue;
        out << "LINE : " << line->NAME << '\n';
        const QVector<std::shared_ptr<Data_Point> > points = line->list_Data_Point;
        for (const std::shared_ptr<Data_Point>& p : points) {
            if (!p || p->USE == 0)
                continue;
            // The stored start time of the first sample, read into the
            // object (Data_Point::GetStartTime).
            QDateTime start;
            const std::shared_ptr<Data_Sample> first = p->list_Data_Sample.value(0);
            if (first) {
                const SampleLookups::Row row = reads.find(starts, first->ID);
                if (row == SampleLookups::Row::Failed)
                    return reads.status();
                if (row == SampleLookups::Row::Found)
                    first->StartTime = starts->integer64(0);
                start = QDateTime::fromMSecsSinceEpoch(first->StartTime);
            }
            out << "    " << p->NAME << " , " << start.toString(QStringLiteral("yyyy.MM.dd hh:mm:ss")) << '\n';
        }
        out << '\n';
    }
    return ExportStatus();
}

} // namespace TextListings
