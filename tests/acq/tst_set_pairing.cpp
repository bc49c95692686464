// The pairing of transmitter and receiver sets on its own: arrivals given as
// box, push number and receive time; what it pairs and drops is compared
// with the pushes the boxes made. Links that stall, lag, jitter or lose a
// push are laid out by a small model of two boxes pushing one set per
// sounding time.

#include "SetPairing.h"

#include <QRandomGenerator>
#include <QStringList>
#include <QtTest>

#include <algorithm>

namespace {

struct Arrival
{
    bool send;
    int push;
    qint64 ms;
};

// What the pairing made of a run of arrivals: pairs as "send-recv" push
// numbers, drops as "S3" or "R3", in the order they were decided.
struct Outcome
{
    QStringList pairs;
    QStringList dropped;
};

Outcome pairUp(const QList<Arrival>& arrivals, int pushMs, bool noMoreSets)
{
    SetPairing pairing;
    QList<int> sends;
    QList<int> recvs;
    Outcome out;
    auto apply = [&](const QVector<SetPairing::Step>& steps) {
        for (SetPairing::Step step : steps) {
            if (step == SetPairing::Step::Pair)
                out.pairs << QStringLiteral("%1-%2").arg(sends.takeFirst()).arg(recvs.takeFirst());
            else if (step == SetPairing::Step::DropSend)
                out.dropped << QStringLiteral("S%1").arg(sends.takeFirst());
            else
                out.dropped << QStringLiteral("R%1").arg(recvs.takeFirst());
        }
    };
    for (const Arrival& a : arrivals) {
        pairing.Add(a.send ? SetPairing::Box::Send : SetPairing::Box::Recv, a.ms);
        (a.send ? sends : recvs) << a.push;
        apply(pairing.TakeContinuous(pushMs));
        if (pairing.Waiting(SetPairing::Box::Send) != sends.size()
            || pairing.Waiting(SetPairing::Box::Recv) != recvs.size())
            qFatal("the pairing lost count of the waiting sets");
    }
    if (noMoreSets)
        apply(pairing.TakeContinuous(pushMs, true));
    return out;
}

// "S1@0 R1@4 S2@1000": box, push number and receive time, in arrival order.
QList<Arrival> parse(const QString& script)
{
    QList<Arrival> out;
    for (const QString& token : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const int at = token.indexOf(QLatin1Char('@'));
        out << Arrival{token.startsWith(QLatin1Char('S')), token.mid(1, at - 1).toInt(), token.mid(at + 1).toLongLong()};
    }
    return out;
}

// Two boxes pushing the same acquisition every pushMs, from push 1 on,
// through links of their own.
struct Links
{
    int pushMs = 1000;         // the sounding time
    int everyMs = 0;           // how often the boxes push, when not every sounding time
    int pushes = 16;
    qint64 sendLatency = 3;
    qint64 recvLatency = 3;
    int jitter = 0;            // extra delay of each set, 0..jitter ms
    QString held;              // the boxes whose link stalls: "S", "R" or both
    qint64 holdFrom = 0;       // the stall, in ms from the first push's start
    qint64 holdMs = 0;
    QChar skipper;             // the box that skips a push, and which
    int skipped = 0;
};

QList<Arrival> arrivalsOf(const Links& l)
{
    QRandomGenerator rng(17);
    const int every = l.everyMs > 0 ? l.everyMs : l.pushMs;
    QList<Arrival> out;
    for (const QChar box : {QLatin1Char('S'), QLatin1Char('R')}) {
        qint64 last = -1;
        for (int k = 1; k <= l.pushes; ++k) {
            if (box == l.skipper && k == l.skipped)
                continue;
            qint64 ms = qint64(k) * every + (box == QLatin1Char('S') ? l.sendLatency : l.recvLatency)
                + qint64(rng.bounded(l.jitter + 1));
            if (l.held.contains(box) && ms >= l.holdFrom && ms < l.holdFrom + l.holdMs)
                ms = l.holdFrom + l.holdMs;
            // A link delivers in order; what a stall held comes one set after the other.
            ms = qMax(ms, last + 1);
            last = ms;
            out << Arrival{box == QLatin1Char('S'), k, ms};
        }
    }
    std::stable_sort(out.begin(), out.end(), [](const Arrival& a, const Arrival& b) { return a.ms < b.ms; });
    return out;
}

} // namespace

Q_DECLARE_METATYPE(Links)

class TstSetPairing : public QObject
{
    Q_OBJECT
private slots:
    void scripted_data();
    void scripted();
    void stalledLinkPairsEverySet_data();
    void stalledLinkPairsEverySet();
    void skippedPushLosesOnlyItsPair_data();
    void skippedPushLosesOnlyItsPair();
    void singleKeepsItsRule_data();
    void singleKeepsItsRule();
};

void TstSetPairing::scripted_data()
{
    QTest::addColumn<int>("pushMs");
    QTest::addColumn<QString>("arrivals");
    QTest::addColumn<bool>("noMoreSets");
    QTest::addColumn<QString>("pairs");
    QTest::addColumn<QString>("dropped");

    QTest::newRow("in step, either box first")
        << 1000 << "S1@0 R1@2 R2@1001 S2@1003 S3@2000 R3@2000" << false << "1-1 2-2 3-3" << "";
    QTest::newRow("a receiver held back, then catching up")
        << 1000 << "S1@0 R1@1 S2@1000 S3@2000 S4@3000 R2@3500 R3@3501 R4@3502" << false << "1-1 2-2 3-3 4-4"
        << "";
    // Held back for less than a sounding, a set alone cannot tell a stall
    // from a skipped push: the box's next set does.
    QTest::newRow("a lone set held back waits for its box's next")
        << 1000 << "S1@0 R1@1 S2@1000 S3@2000 R2@2700" << false << "1-1" << "";
    QTest::newRow("a lone set held back, its box's next close behind")
        << 1000 << "S1@0 R1@1 S2@1000 S3@2000 R2@2700 R3@3001 S4@3000 R4@4000" << false << "1-1 2-2 3-3"
        << "";
    QTest::newRow("the receiver skips push 2")
        << 1000 << "S1@0 R1@1 S2@1000 S3@2000 R3@2001 S4@3000 R4@3001" << false << "1-1 3-3 4-4" << "S2";
    QTest::newRow("the transmitter skips push 2")
        << 1000 << "S1@0 R1@1 R2@1001 S3@2000 R3@2001 R4@3001 S4@3002" << false << "1-1 3-3 4-4" << "R2";
    QTest::newRow("the receiver skips two pushes")
        << 1000 << "S1@0 R1@1 S2@1000 S3@2000 S4@3000 R4@3001 S5@4000 R5@4001" << false << "1-1 4-4 5-5"
        << "S2 S3";
    // A receiver 600 ms behind the transmitter all along is in step with it.
    QTest::newRow("a link slower for good")
        << 1000 << "S1@0 R1@600 S2@1000 R2@1600 S3@2000 R3@2600 S4@3000 R4@3600" << false
        << "1-1 2-2 3-3 4-4" << "";
    QTest::newRow("a link slower for good, held back at the start")
        << 1000 << "S1@0 S2@1000 S3@2000 R1@2500 R2@2501 R3@2600 S4@3000 R4@3600 S5@4000 R5@4600" << false
        << "1-1 2-2 3-3 4-4 5-5" << "";
    // Kept sets of a run whose boxes have stopped: nothing more will tell.
    QTest::newRow("no more sets: the lone late set is paired in order")
        << 1000 << "S1@0 R1@1 S2@1000 R2@9000" << true << "1-1 2-2" << "";
    QTest::newRow("no more sets: a skipped push the sets on time show")
        << 1000 << "S1@0 R1@1 S2@1000 S3@2000 R3@2001" << true << "1-1 3-3" << "S2";
    QTest::newRow("no more sets: a set without partner stays")
        << 1000 << "S1@0 R1@1 S2@1000" << true << "1-1" << "";
    // Pushes within a link's jitter of each other: each box's order alone.
    QTest::newRow("short pushes pair in order")
        << 100 << "S1@0 R1@1 S2@100 S3@200 R2@210 R3@211" << false << "1-1 2-2 3-3" << "";
}

void TstSetPairing::scripted()
{
    QFETCH(int, pushMs);
    QFETCH(QString, arrivals);
    QFETCH(bool, noMoreSets);
    QFETCH(QString, pairs);
    QFETCH(QString, dropped);
    const Outcome out = pairUp(parse(arrivals), pushMs, noMoreSets);
    QCOMPARE(out.pairs.join(QLatin1Char(' ')), pairs);
    QCOMPARE(out.dropped.join(QLatin1Char(' ')), dropped);
}

void TstSetPairing::stalledLinkPairsEverySet_data()
{
    QTest::addColumn<Links>("links");
    auto row = [](const QString& name, Links l) { QTest::newRow(qPrintable(name)) << l; };
    for (const int pushMs : {1000, 400}) {
        for (const char* box : {"S", "R"}) {
            // Stalls of up to 10 s, starting anywhere within a push.
            for (const qint64 holdMs : {qint64(pushMs) * 6 / 10, qint64(pushMs), qint64(pushMs) * 15 / 10,
                                        qint64(2500), qint64(10000)}) {
                for (const int phase : {0, pushMs / 3, pushMs * 2 / 3}) {
                    Links l;
                    l.pushMs = pushMs;
                    l.pushes = int((4 * pushMs + holdMs) / pushMs) + 8;
                    l.held = QLatin1String(box);
                    l.holdFrom = 3 * pushMs + phase;
                    l.holdMs = holdMs;
                    row(QStringLiteral("%1 ms pushes, %2 held %3 ms from +%4").arg(pushMs).arg(box).arg(holdMs).arg(phase),
                        l);
                    l.jitter = pushMs / 8;
                    row(QStringLiteral("%1 ms pushes, %2 held %3 ms from +%4, jittery")
                            .arg(pushMs).arg(box).arg(holdMs).arg(phase),
                        l);
                }
            }
            Links first;
            first.pushMs = pushMs;
            first.held = QLatin1String(box);
            first.holdMs = 2500 + pushMs;
            row(QStringLiteral("%1 ms pushes, %2 held from the first push").arg(pushMs).arg(box), first);
            Links slow = first;
            slow.holdMs = 0;
            (QLatin1String(box) == QLatin1String("S") ? slow.sendLatency : slow.recvLatency) = pushMs * 6 / 10;
            row(QStringLiteral("%1 ms pushes, %2 slower for good").arg(pushMs).arg(box), slow);
        }
        // Boxes that need a while between their acquisitions.
        Links slower;
        slower.pushMs = pushMs;
        slower.everyMs = pushMs * 14 / 10;
        slower.held = QStringLiteral("R");
        slower.holdFrom = 3 * slower.everyMs + pushMs / 3;
        slower.holdMs = 2500;
        row(QStringLiteral("%1 ms pushes every %2 ms, R held 2500 ms").arg(pushMs).arg(slower.everyMs), slower);
        // A save that keeps the event loop from the links: both deliver
        // late, one box's sets all before the other's.
        Links save;
        save.pushMs = pushMs;
        save.held = QStringLiteral("SR");
        save.holdFrom = 3 * pushMs + pushMs / 2;
        save.holdMs = 477;
        row(QStringLiteral("%1 ms pushes, a 477 ms save").arg(pushMs), save);
    }
}

void TstSetPairing::stalledLinkPairsEverySet()
{
    // Nothing is lost: every set is paired with its own partner, and none
    // waits once the links deliver in step again.
    QFETCH(Links, links);
    const Outcome out = pairUp(arrivalsOf(links), links.pushMs, false);
    QStringList all;
    for (int k = 1; k <= links.pushes; ++k)
        all << QStringLiteral("%1-%1").arg(k);
    QCOMPARE(out.pairs, all);
    QCOMPARE(out.dropped, QStringList());
}

void TstSetPairing::skippedPushLosesOnlyItsPair_data()
{
    QTest::addColumn<Links>("links");
    for (const int pushMs : {1000, 400}) {
        for (const QChar box : {QLatin1Char('S'), QLatin1Char('R')}) {
            for (const int jitter : {0, pushMs / 8}) {
                for (const qint64 latency : {qint64(3), qint64(pushMs) * 4 / 10}) {
                    Links l;
                    l.pushMs = pushMs;
                    l.jitter = jitter;
                    (box == QLatin1Char('S') ? l.recvLatency : l.sendLatency) = latency;
                    l.skipper = box;
                    l.skipped = 6;
                    QTest::newRow(qPrintable(QStringLiteral("%1 ms pushes, %2 skips, partner %3 ms later, jitter %4")
                                                 .arg(pushMs).arg(box).arg(latency).arg(jitter)))
                        << l;
                    l.everyMs = pushMs * 14 / 10;
                    QTest::newRow(qPrintable(QStringLiteral("%1 ms pushes every %2 ms, %3 skips, partner %4 ms later, jitter %5")
                                                 .arg(pushMs).arg(l.everyMs).arg(box).arg(latency).arg(jitter)))
                        << l;
                }
            }
        }
    }
}

void TstSetPairing::skippedPushLosesOnlyItsPair()
{
    QFETCH(Links, links);
    const Outcome out = pairUp(arrivalsOf(links), links.pushMs, false);
    QStringList all;
    for (int k = 1; k <= links.pushes; ++k) {
        if (k != links.skipped)
            all << QStringLiteral("%1-%1").arg(k);
    }
    QCOMPARE(out.pairs, all);
    const QChar partner = links.skipper == QLatin1Char('S') ? QLatin1Char('R') : QLatin1Char('S');
    QCOMPARE(out.dropped, QStringList{QStringLiteral("%1%2").arg(partner).arg(links.skipped)});
}

void TstSetPairing::singleKeepsItsRule_data()
{
    QTest::addColumn<int>("repeats");
    QTest::addColumn<int>("sends");
    QTest::addColumn<int>("recvs");
    QTest::addColumn<bool>("record");
    QTest::addColumn<int>("dropSends");
    QTest::addColumn<int>("dropRecvs");
    QTest::newRow("lists agree") << 3 << 2 << 2 << true << 0 << 0;
    QTest::newRow("lists agree beyond the repeats") << 2 << 4 << 4 << true << 0 << 0;
    QTest::newRow("one set alone waits") << 2 << 1 << 0 << false << 0 << 0;
    QTest::newRow("too few for the repeats") << 3 << 2 << 1 << false << 0 << 0;
    QTest::newRow("a surplus is cut to the newest") << 1 << 2 << 1 << true << 1 << 0;
    QTest::newRow("surpluses of both") << 2 << 3 << 5 << true << 1 << 3;
}

void TstSetPairing::singleKeepsItsRule()
{
    // The times play no part: each repeat is started on its own.
    QFETCH(int, repeats);
    QFETCH(int, sends);
    QFETCH(int, recvs);
    QFETCH(bool, record);
    QFETCH(int, dropSends);
    QFETCH(int, dropRecvs);
    SetPairing pairing;
    for (int k = 0; k < sends; ++k)
        pairing.Add(SetPairing::Box::Send, k * 5000);
    for (int k = 0; k < recvs; ++k)
        pairing.Add(SetPairing::Box::Recv, 30000 + k);
    int s = -1;
    int r = -1;
    QCOMPARE(pairing.TakeSingle(repeats, &s, &r), record);
    QCOMPARE(s, dropSends);
    QCOMPARE(r, dropRecvs);
    // Nothing is taken: the record holds what remains.
    QCOMPARE(pairing.Waiting(SetPairing::Box::Send), sends - dropSends);
    QCOMPARE(pairing.Waiting(SetPairing::Box::Recv), recvs - dropRecvs);
}

QTEST_APPLESS_MAIN(TstSetPairing)
#include "tst_set_pairing.moc"
