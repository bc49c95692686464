#include "SetPairing.h"

#include <algorithm>
#include <limits>

namespace {

// A gap to a set that does not exist: longer than any sounding, and still
// safe to multiply by a few.
const qint64 kNoGap = std::numeric_limits<qint64>::max() / 16;
const qint64 kGapUnknown = -1;

// How many of the latest gaps both boxes showed alike tell their cadence.
const int kPushGapsKept = 8;
// How many of the latest lags between the boxes tell the one to expect: a
// single late pair does not move it, a lasting change does within a few.
const int kLagsKept = 5;
// How many of a box's latest gaps tell how much its link jitters.
const int kJitterGapsKept = 16;

qint64 distance(qint64 a, qint64 b)
{
    return a > b ? a - b : b - a;
}

// The nearest whole number of d in v, for either sign.
qint64 nearest(qint64 v, qint64 d)
{
    return v >= 0 ? (v + d / 2) / d : -((-v + d / 2) / d);
}

} // namespace

// The thresholds, for boxes pushing every T ms (a sounding time, or longer
// where the boxes are seen to take longer):
// - two times agree when they are within T/4 of each other: a pair is in
//   step when its lag is within T/4 of the lag expected, and a gap is on
//   cadence when it is within T/4 of a whole number of pushes;
// - a box skipped pushes before a set when the gap to its previous set is
//   about two pushes or more, on cadence, and the gap to its next set is on
//   cadence too: a link that stalled delivers its next set close behind;
// - a set is bunched when it came less than T/2 after its box's previous
//   one: its link delivers what a stall held back, and only catches up;
// - a set came at its link's usual time when its box's next set came at
//   least 3T/4 after it: a set held back by a stall has its box's next set,
//   held as well or on time, close behind it. Only pairs of such sets say
//   which lag to expect, or that the lag moved for good;
// - a lag that moved by whole pushes for good says that the later box
//   skipped a push where a stall hid the gap; it is for good when the
//   earlier box's set that many pushes on is in step with the later set.

qint64 SetPairing::Queue::gapBefore(int i) const
{
    if (i > 0)
        return times.at(i) - times.at(i - 1);
    return anyTaken ? times.at(0) - lastTaken : kNoGap;
}

qint64 SetPairing::Queue::gapAfter(int i, bool noMoreSets) const
{
    if (i + 1 < times.size())
        return times.at(i + 1) - times.at(i);
    return noMoreSets ? kNoGap : kGapUnknown;
}

void SetPairing::Queue::takeFront(qint64 push)
{
    lastTaken = times.at(0);
    anyTaken = true;
    lastPush = push;
    times.removeFirst();
}

void SetPairing::Reset()
{
    sends = Queue();
    recvs = Queue();
    pushGaps.clear();
    lags.clear();
    shiftedDrops = 0;
}

void SetPairing::Add(Box box, qint64 receivedMs)
{
    Queue& q = box == Box::Send ? sends : recvs;
    const Queue& other = box == Box::Send ? recvs : sends;
    if (!q.times.isEmpty() || q.anyTaken) {
        q.lastGap = receivedMs - (q.times.isEmpty() ? q.lastTaken : q.times.last());
        q.recentGaps.append(q.lastGap);
        if (q.recentGaps.size() > kJitterGapsKept)
            q.recentGaps.removeFirst();
        // Where the latest gaps of both boxes are alike, within 15 %, they
        // tell how often the boxes push: a skipped push or a stall lengthens
        // the gap of one box only, and a link catching up shortens it.
        const qint64 shorter = qMin(q.lastGap, other.lastGap);
        if (shorter > 0 && 20 * distance(q.lastGap, other.lastGap) <= 3 * shorter) {
            pushGaps.append((q.lastGap + other.lastGap) / 2);
            if (pushGaps.size() > kPushGapsKept)
                pushGaps.removeFirst();
        }
    }
    q.times.append(receivedMs);
}

int SetPairing::cadence(int pushMs) const
{
    // A box may need a while between its acquisitions, beyond the sounding
    // time itself.
    if (pushGaps.isEmpty())
        return pushMs;
    QVector<qint64> sorted = pushGaps;
    std::sort(sorted.begin(), sorted.end());
    return int(qBound(qint64(pushMs), sorted.at(sorted.size() / 2), qint64(8) * pushMs));
}

int SetPairing::Waiting(Box box) const
{
    return (box == Box::Send ? sends : recvs).times.size();
}

bool SetPairing::TakeSingle(int repeats, int* dropSends, int* dropRecvs)
{
    *dropSends = 0;
    *dropRecvs = 0;
    const int s = sends.times.size();
    const int r = recvs.times.size();
    if (s == 0 || r == 0)
        return false;
    if (s != r) {
        // Each repeat is started on its own, so the lists grow together; a
        // box that delivered more is cut to its newest sets.
        const int wanted = qMax(1, repeats);
        if (qMin(s, r) < wanted)
            return false;
        *dropSends = s - wanted;
        *dropRecvs = r - wanted;
        sends.times.remove(0, *dropSends);
        recvs.times.remove(0, *dropRecvs);
    }
    return true;
}

bool SetPairing::onCadence(qint64 gap, const Run& run)
{
    if (gap == kNoGap)
        return true;
    const qint64 pushes = nearest(gap, run.pushMs);
    return pushes >= 1 && 4 * distance(gap, pushes * run.pushMs) <= run.pushMs;
}

bool SetPairing::jittery(const Queue& q, const Run& run)
{
    // Gaps of about one push stray from it by the link's jitter. Where that
    // is more than a small part of a push, times cannot tell a skipped push
    // from a late set, and each box's order alone decides.
    qint64 strays = 0;
    int gaps = 0;
    for (const qint64 gap : q.recentGaps) {
        if (2 * gap >= run.pushMs && 2 * gap <= 3 * run.pushMs) {
            strays += distance(gap, run.pushMs);
            ++gaps;
        }
    }
    // Links that jitter by up to J ms stray by J/3 on average.
    return gaps >= kJitterGapsKept / 2 && 8 * strays > qint64(gaps) * run.pushMs;
}

int SetPairing::pushesBefore(const Queue& q, const Run& run) const
{
    const qint64 before = q.gapBefore(0);
    if (before == kNoGap || 4 * before < 7 * run.pushMs)
        return 1;
    const qint64 after = q.gapAfter(0, run.noMoreSets);
    if (after == kGapUnknown)
        return 0;
    // With nothing after it, a long gap may as well be a stall: the lag
    // decides.
    if (after == kNoGap)
        return 1;
    const qint64 pushes = nearest(before, run.pushMs);
    if (4 * distance(before, pushes * run.pushMs) <= run.pushMs && onCadence(after, run))
        return int(qMin(pushes, qint64(std::numeric_limits<int>::max())));
    return 1;
}

qint64 SetPairing::expectedLag() const
{
    QVector<qint64> sorted = lags;
    std::sort(sorted.begin(), sorted.end());
    return sorted.at(sorted.size() / 2);
}

bool SetPairing::inStep(qint64 sendMs, qint64 recvMs, const Run& run) const
{
    return 4 * distance(sendMs - recvMs, expectedLag()) <= run.pushMs;
}

void SetPairing::noteLag(qint64 lag)
{
    lags.append(lag);
    if (lags.size() > kLagsKept)
        lags.removeFirst();
}

QVector<SetPairing::Decision> SetPairing::TakeContinuous(int pushMs, bool noMoreSets)
{
    QVector<Decision> out;
    const Run run{qMax(1, cadence(pushMs)), noMoreSets};
    const qint64 T = run.pushMs;
    auto bunched = [&](const Queue& q) {
        const qint64 gap = q.gapBefore(0);
        return gap != kNoGap && 2 * gap < T;
    };
    auto usualTime = [&](qint64 after) { return after == kNoGap || 4 * after >= 3 * T; };
    const bool untimed = jittery(sends, run) || jittery(recvs, run);

    for (;;) {
        if (sends.times.isEmpty() || recvs.times.isEmpty())
            break;
        const qint64 sMs = sends.times.at(0);
        const qint64 rMs = recvs.times.at(0);
        // Links too jittery to be timed expect no lag: each box's order
        // alone pairs them.
        const bool known = !untimed && !lags.isEmpty();
        const qint64 off = known ? sMs - rMs - expectedLag() : 0;
        auto take = [&](Step step, Reason reason, qint64 sPush, qint64 rPush) {
            Decision d{step, reason, step == Step::Pair ? off : 0, known && step == Step::Pair, int(T)};
            if (step != Step::DropRecv)
                sends.takeFront(sPush);
            if (step != Step::DropSend)
                recvs.takeFront(rPush);
            out.append(d);
        };
        if (untimed) {
            take(Step::Pair, Reason::InStep, sends.lastPush + 1, recvs.lastPush + 1);
            continue;
        }

        // Where each set stands in its box's pushes, as its own box's
        // arrivals show.
        const int ns = pushesBefore(sends, run);
        const int nr = pushesBefore(recvs, run);
        if (ns == 0 || nr == 0)
            break;
        const qint64 sPush = sends.lastPush + ns;
        const qint64 rPush = recvs.lastPush + nr;
        const Reason dropReason = shiftedDrops > 0 ? Reason::LagShifted : Reason::GapInArrivals;
        if (sPush != rPush) {
            if (shiftedDrops > 0)
                --shiftedDrops;
            if (sPush < rPush)
                take(Step::DropSend, dropReason, sPush, 0);
            else
                take(Step::DropRecv, dropReason, 0, rPush);
            continue;
        }
        shiftedDrops = 0;

        const qint64 lag = sMs - rMs;
        // Before any lag is known, sets that come together belong together.
        if (4 * qAbs(known ? off : lag) <= T) {
            noteLag(lag);
            take(Step::Pair, Reason::InStep, sPush, rPush);
            continue;
        }
        // The later of the two close behind its box's previous set: its
        // link delivers what it held back, in order.
        const bool catching = known ? bunched(off < 0 ? recvs : sends) : (bunched(sends) || bunched(recvs));
        if (catching) {
            take(Step::Pair, Reason::CatchingUp, sPush, rPush);
            continue;
        }
        const qint64 sAfter = sends.gapAfter(0, noMoreSets);
        const qint64 rAfter = recvs.gapAfter(0, noMoreSets);
        if (sAfter == kGapUnknown || rAfter == kGapUnknown)
            break;
        if (!usualTime(sAfter) || !usualTime(rAfter)) {
            take(Step::Pair, Reason::CatchingUp, sPush, rPush);
            continue;
        }
        if (!known) {
            // The first lag of a run: the links may differ by that much for
            // good, and a box whose first push is missing looks the same.
            noteLag(lag);
            take(Step::Pair, Reason::InStep, sPush, rPush);
            continue;
        }
        const qint64 pushes = nearest(off, T);
        if (pushes == 0 || 4 * distance(off, pushes * T) > T) {
            // A link slower or faster by less than a push: it still delivers
            // every set in order.
            noteLag(lag);
            take(Step::Pair, Reason::LagChanged, sPush, rPush);
            continue;
        }
        // Whole pushes later: the later box skipped as many, if the earlier
        // box's set that many pushes on is in step with the later set.
        const bool recvLater = pushes < 0;
        const int k = int(qMin(qAbs(pushes), qint64(std::numeric_limits<int>::max())));
        const Queue& earlier = recvLater ? sends : recvs;
        if (earlier.times.size() <= k) {
            if (!noMoreSets)
                break;
            take(Step::Pair, Reason::Unconfirmed, sPush, rPush);
            continue;
        }
        const bool lasting = recvLater ? inStep(sends.times.at(k), rMs, run) : inStep(sMs, recvs.times.at(k), run);
        if (!lasting) {
            take(Step::Pair, Reason::Unconfirmed, sPush, rPush);
            continue;
        }
        (recvLater ? recvs : sends).lastPush += k;
        shiftedDrops = k;
    }
    return out;
}
