// The pairing of transmitter and receiver sets on its own: arrivals given as
// box, push number and receive time; what it pairs and drops is compared
// with the pushes the boxes made. Links that stall, lag, jitter or lose a
// push are laid out by a small model of two boxes pushing one set per
// sounding time.

#include "SetPairing.h"

#include <QRandomGenerator>
#include <QSet>
#include <QRegularExpression>
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
    auto apply = [&](const QVector<SetPairing::Decision>& steps) {
        for (const SetPairing::Decision& d : steps) {
            const SetPairing::Step step = d.step;
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
    QString skips;             // more skipped pushes: "R5 S7"
    QChar stepped;             // the box whose link's latency changes for good
    int stepFrom = 0;          // from this push on
    qint64 stepMs = 0;         // by this much (negative: faster)
};

bool skips(const Links& l, QChar box, int push)
{
    if (box == l.skipper && push == l.skipped)
        return true;
    return l.skips.split(QLatin1Char(' '), Qt::SkipEmptyParts).contains(QStringLiteral("%1%2").arg(box).arg(push));
}

// The pushes a stall of the links held back, those a box skipped while its
// link was stalled, and those that came close behind what a stall released
// (less than half a push after it, as a held set would): where a skip hides
// in a stall, only these may be paired or dropped otherwise than the boxes
// pushed them.
QSet<int> heldPushes(const Links& l, const QList<Arrival>& arrivals)
{
    QSet<int> held;
    const int every = l.everyMs > 0 ? l.everyMs : l.pushMs;
    for (const bool send : {true, false}) {
        const qint64 latency = send ? l.sendLatency : l.recvLatency;
        bool behind = false;
        qint64 last = 0;
        for (const Arrival& a : arrivals) {
            if (a.send != send)
                continue;
            const qint64 pushed = qint64(a.push) * every + latency;
            behind = (a.ms > pushed + l.jitter) || (behind && 2 * (a.ms - last) < every);
            if (behind)
                held.insert(a.push);
            last = a.ms;
        }
    }
    for (int k = 1; k <= l.pushes; ++k) {
        const qint64 pushed = qint64(k) * every;
        if ((skips(l, QLatin1Char('S'), k) || skips(l, QLatin1Char('R'), k)) && pushed >= l.holdFrom - every
            && pushed < l.holdFrom + l.holdMs + every)
            held.insert(k);
    }
    return held;
}

QList<Arrival> arrivalsOf(const Links& l)
{
    QRandomGenerator rng(17);
    const int every = l.everyMs > 0 ? l.everyMs : l.pushMs;
    QList<Arrival> out;
    for (const QChar box : {QLatin1Char('S'), QLatin1Char('R')}) {
        qint64 last = -1;
        for (int k = 1; k <= l.pushes; ++k) {
            if (skips(l, box, k))
                continue;
            qint64 ms = qint64(k) * every + (box == QLatin1Char('S') ? l.sendLatency : l.recvLatency)
                + qint64(rng.bounded(l.jitter + 1));
            if (box == l.stepped && k >= l.stepFrom)
                ms += l.stepMs;
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
    void linkBehaviours_data();
    void linkBehaviours();
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

void TstSetPairing::linkBehaviours_data()
{
    // Links and boxes as a field laptop's Wi-Fi and a busy box may behave,
    // against what the boxes pushed: every push both boxes delivered is
    // paired with its own partner, every set whose partner was skipped is
    // dropped, and nothing else is. Where a box skipped a push while its
    // link was stalled, only the pushes the stall held may come out
    // otherwise.
    QTest::addColumn<Links>("links");
    QTest::addColumn<bool>("runEnds");
    QTest::addColumn<bool>("onlyHeldMayErr");
    auto row = [](const QString& name, const Links& l, bool runEnds = false, bool onlyHeld = false) {
        QTest::newRow(qPrintable(name)) << l << runEnds << onlyHeld;
    };
    for (const int pushMs : {1000, 400}) {
        for (const QChar box : {QLatin1Char('S'), QLatin1Char('R')}) {
            for (const int jitter : {0, pushMs / 8}) {
                // A route change or a loaded box: one link's latency moves
                // by 0.6 of a sounding time mid-run, and stays so.
                for (const int sign : {1, -1}) {
                    Links l;
                    l.pushMs = pushMs;
                    l.pushes = 30;
                    l.jitter = jitter;
                    (box == QLatin1Char('S') ? l.sendLatency : l.recvLatency) = sign > 0 ? 3 : pushMs * 6 / 10 + 3;
                    l.stepped = box;
                    l.stepFrom = 5;
                    l.stepMs = sign * qint64(pushMs) * 6 / 10;
                    row(QStringLiteral("%1 ms pushes, %2 %3 by 0.6 push from push 5, jitter %4")
                            .arg(pushMs).arg(box).arg(sign > 0 ? "slower" : "faster").arg(jitter),
                        l);
                }
                // Two skips close together, one of each box.
                const QChar other = box == QLatin1Char('S') ? QLatin1Char('R') : QLatin1Char('S');
                for (const int second : {6, 7}) {
                    Links l;
                    l.pushMs = pushMs;
                    l.jitter = jitter;
                    l.skips = QStringLiteral("%1%2 %3%4").arg(box).arg(5).arg(other).arg(second);
                    row(QStringLiteral("%1 ms pushes, skips %2, jitter %3").arg(pushMs).arg(l.skips).arg(jitter), l);
                }
            }
            // A skip while the same link is stalled, mid-run and in the first
            // pushes of a run.
            for (const qint64 holdMs : {qint64(1000), qint64(3000), qint64(6000)}) {
                for (const qint64 from : {qint64(pushMs) + pushMs / 3, qint64(3) * pushMs, qint64(3) * pushMs + pushMs * 2 / 3}) {
                    Links l;
                    l.pushMs = pushMs;
                    l.held = box;
                    l.holdFrom = from;
                    l.holdMs = holdMs;
                    l.pushes = int((from + holdMs) / pushMs) + 10;
                    l.skipper = box;
                    // The middle one of the pushes the stall holds.
                    const int first = int((from - 3 + pushMs - 1) / pushMs);
                    const int last = int((from + holdMs - 4) / pushMs);
                    l.skipped = (first + last) / 2;
                    row(QStringLiteral("%1 ms pushes, %2 held %3 ms from %4 ms, skipping push %5")
                            .arg(pushMs).arg(box).arg(holdMs).arg(from).arg(l.skipped),
                        l, false, true);
                }
            }
            // The operator stops, or the run ends for want of data: what
            // still waits is what both boxes delivered.
            Links late;
            late.pushMs = pushMs;
            late.jitter = pushMs / 8;
            (box == QLatin1Char('S') ? late.sendLatency : late.recvLatency) = pushMs * 4 / 10;
            row(QStringLiteral("%1 ms pushes, %2 later, the run ends").arg(pushMs).arg(box), late, true);
            Links tail = late;
            tail.skipper = box;
            tail.skipped = tail.pushes - 1;
            row(QStringLiteral("%1 ms pushes, %2 skips the push before the last, the run ends").arg(pushMs).arg(box),
                tail, true);
            Links held = late;
            held.held = box;
            held.holdFrom = qint64(held.pushes) * pushMs - pushMs / 2;
            held.holdMs = pushMs * 9 / 10;
            row(QStringLiteral("%1 ms pushes, %2's last set held, the run ends").arg(pushMs).arg(box), held, true);
        }
    }
    // Short sounding times (62.5 Hz x 10 periods): a skipped push costs its
    // pair alone while the links jitter by less than a quarter of a push.
    for (const QChar box : {QLatin1Char('S'), QLatin1Char('R')}) {
        for (const int jitter : {0, 20, 35}) {
            Links l;
            l.pushMs = 160;
            l.pushes = 60;
            l.jitter = jitter;
            l.skipper = box;
            l.skipped = 9;
            row(QStringLiteral("160 ms pushes, %1 skips, jitter %2").arg(box).arg(jitter), l);
        }
    }
    // Links that jitter by more than a quarter of a push: times tell
    // nothing, and each box's order alone pairs.
    Links noisy;
    noisy.pushMs = 60;
    noisy.pushes = 60;
    noisy.jitter = 40;
    row(QStringLiteral("60 ms pushes, jitter 40"), noisy);
}

void TstSetPairing::linkBehaviours()
{
    QFETCH(Links, links);
    QFETCH(bool, runEnds);
    QFETCH(bool, onlyHeldMayErr);
    const QList<Arrival> arrivals = arrivalsOf(links);
    const QSet<int> mayErr = onlyHeldMayErr ? heldPushes(links, arrivals) : QSet<int>();
    QStringList pairs;
    QStringList dropped;
    for (int k = 1; k <= links.pushes; ++k) {
        if (mayErr.contains(k))
            continue;
        const bool s = !skips(links, QLatin1Char('S'), k);
        const bool r = !skips(links, QLatin1Char('R'), k);
        if (s && r)
            pairs << QStringLiteral("%1-%1").arg(k);
        else if (s || r)
            dropped << QStringLiteral("%1%2").arg(s ? "S" : "R").arg(k);
    }
    // A run that goes on keeps its newest sets until their place is known.
    const Outcome out = pairUp(arrivals, links.pushMs, runEnds);
    auto outside = [&](const QStringList& steps) {
        QStringList kept;
        for (const QString& step : steps) {
            const QStringList pushes = QString(step).remove(QRegularExpression(QStringLiteral("[SR]"))).split(QLatin1Char('-'));
            if (std::none_of(pushes.begin(), pushes.end(), [&](const QString& p) { return mayErr.contains(p.toInt()); }))
                kept << step;
        }
        return kept;
    };
    QStringList gotPairs = outside(out.pairs);
    QStringList gotDropped = outside(out.dropped);
    if (!runEnds) {
        // The newest push may still wait for its partner's next set.
        while (gotPairs.size() < pairs.size() && !pairs.isEmpty() && pairs.last().startsWith(QString::number(links.pushes)))
            pairs.removeLast();
    }
    std::sort(gotDropped.begin(), gotDropped.end());
    std::sort(dropped.begin(), dropped.end());
    QCOMPARE(gotPairs, pairs);
    QCOMPARE(gotDropped, dropped);
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
