#include "SetPairing.h"

#include <algorithm>
#include <limits>

namespace {

// Pushes closer together than this are within a link's jitter of each other:
// their arrival times tell nothing about a skipped push, and each box's
// order alone pairs them.
const int kShortestTimedMs = 200;

// A gap to a set that does not exist: longer than any sounding, and still
// safe to multiply by a few.
const qint64 kNoGap = std::numeric_limits<qint64>::max() / 16;
const qint64 kGapUnknown = -1;

// How many of the latest gaps both boxes showed alike tell their cadence.
const int kPushGapsKept = 8;

qint64 distance(qint64 a, qint64 b)
{
    return a > b ? a - b : b - a;
}

} // namespace

// The thresholds, for boxes pushing every T ms (a sounding time, or longer
// where the boxes are seen to take longer):
// - a transmitter set and a receiver set are in step when their lag is
//   within T/2 of the lag the pairing expects;
// - a set is bunched when it came less than T/2 after its box's previous
//   one: that box delivers what a stall held back, and only catches up;
// - a gap is on cadence when it is a whole number of pushes, within T/4,
//   and a set is on cadence when the gaps to its box's sets before and
//   after it are (or no set comes any more): a pair of such sets in step
//   tells the lag to expect. A set held back by a stall never is: its box's
//   next set, held as well, comes close behind it, or, on time, less than a
//   push after it by as much as the stall held it. The first sets of a run
//   are known only once their boxes' next sets are in;
// - a set is on time when it is on cadence and its box's next set came a
//   push after it, within T/4: only such a set says by its time that its
//   box skipped a push before it.

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

void SetPairing::Queue::takeFront(int n)
{
    if (n <= 0)
        return;
    lastTaken = times.at(n - 1);
    anyTaken = true;
    times.remove(0, n);
}

void SetPairing::Reset()
{
    sends = Queue();
    recvs = Queue();
    pushGaps.clear();
    lagKnown = false;
    lag = 0;
    lagToConfirm = false;
    lagCandidate = 0;
}

void SetPairing::Add(Box box, qint64 receivedMs)
{
    Queue& q = box == Box::Send ? sends : recvs;
    const Queue& other = box == Box::Send ? recvs : sends;
    if (!q.times.isEmpty() || q.anyTaken) {
        q.lastGap = receivedMs - (q.times.isEmpty() ? q.lastTaken : q.times.last());
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
        sends.takeFront(*dropSends);
        recvs.takeFront(*dropRecvs);
    }
    return true;
}

bool SetPairing::bunched(const Queue& q, int i, const Run& run)
{
    return 2 * q.gapBefore(i) < run.pushMs;
}

bool SetPairing::onCadenceAround(const Queue& q, int i, const Run& run)
{
    const qint64 after = q.gapAfter(i, run.noMoreSets);
    return after != kGapUnknown && onCadence(q.gapBefore(i), run) && onCadence(after, run);
}

bool SetPairing::onTime(const Queue& q, int i, const Run& run)
{
    const qint64 after = q.gapAfter(i, run.noMoreSets);
    return onCadenceAround(q, i, run) && (after == kNoGap || 4 * distance(after, run.pushMs) <= run.pushMs);
}

bool SetPairing::inStep(qint64 sendMs, qint64 recvMs, const Run& run) const
{
    return 2 * distance(sendMs - recvMs, expectedLag()) < run.pushMs;
}

bool SetPairing::settles(int i, const Run& run) const
{
    const qint64 sendMs = sends.times.at(i);
    const qint64 recvMs = recvs.times.at(i);
    if (inStep(sendMs, recvMs, run))
        return true;
    // The later box is catching up on what its link held back: nothing of
    // it was lost, so its sets are its partner's in order.
    const bool sendLate = sendMs - recvMs > expectedLag();
    if (bunched(sendLate ? sends : recvs, i, run))
        return true;
    // Before any pair was in step, two sets on cadence belong together
    // whatever their lag: the links may differ by that much for good.
    return !lagKnown && onCadenceAround(sends, i, run) && onCadenceAround(recvs, i, run);
}

bool SetPairing::onCadence(qint64 gap, const Run& run)
{
    if (gap == kNoGap)
        return true;
    const qint64 push = run.pushMs;
    const qint64 pushes = (gap + push / 2) / push;
    return pushes >= 1 && 4 * distance(gap, pushes * push) <= push;
}

void SetPairing::noteLag(int i, const Run& run)
{
    const qint64 pairLag = sends.times.at(i) - recvs.times.at(i);
    if (lagKnown && 2 * distance(pairLag, lag) >= run.pushMs)
        return;
    if (!onCadence(sends.gapBefore(i), run) || !onCadence(recvs.gapBefore(i), run))
        return;
    if (sends.gapAfter(i, run.noMoreSets) == kGapUnknown || recvs.gapAfter(i, run.noMoreSets) == kGapUnknown) {
        lagToConfirm = true;
        lagCandidate = pairLag;
    } else if (onCadenceAround(sends, i, run) && onCadenceAround(recvs, i, run)) {
        lag = pairLag;
        lagKnown = true;
        lagToConfirm = false;
    }
}

void SetPairing::confirmLag(const Run& run)
{
    // The last pair taken waited for its boxes' next sets to show it on cadence.
    if (!lagToConfirm)
        return;
    bool known = true;
    for (const Queue* q : {&sends, &recvs}) {
        if (q->times.isEmpty()) {
            known = known && run.noMoreSets;
            continue;
        }
        if (!onCadence(q->times.at(0) - q->lastTaken, run)) {
            lagToConfirm = false;
            return;
        }
    }
    if (!known)
        return;
    lag = lagCandidate;
    lagKnown = true;
    lagToConfirm = false;
}

void SetPairing::takePairs(int n, const Run& run, QVector<Step>& steps)
{
    for (int k = 0; k < n; ++k) {
        noteLag(k, run);
        steps.append(Step::Pair);
    }
    sends.takeFront(n);
    recvs.takeFront(n);
}

bool SetPairing::takeSkipped(const Run& run, QVector<Step>& steps)
{
    // A box that skipped s pushes: its sets are on time, in step with the
    // other box's sets s places further on. The oldest such place decides,
    // and only the s sets in between, which have no partner, are dropped.
    const int s = sends.times.size();
    const int r = recvs.times.size();
    auto matches = [&](int si, int ri) {
        return inStep(sends.times.at(si), recvs.times.at(ri), run) && onTime(sends, si, run)
            && onTime(recvs, ri, run);
    };
    for (int i = 0; i < qMax(s, r); ++i) {
        for (int skipped = 1; i + skipped < qMax(s, r); ++skipped) {
            if (i < s && i + skipped < r && matches(i, i + skipped)) {
                takePairs(i, run, steps);
                for (int k = 0; k < skipped; ++k)
                    steps.append(Step::DropRecv);
                recvs.takeFront(skipped);
                return true;
            }
            if (i < r && i + skipped < s && matches(i + skipped, i)) {
                takePairs(i, run, steps);
                for (int k = 0; k < skipped; ++k)
                    steps.append(Step::DropSend);
                sends.takeFront(skipped);
                return true;
            }
        }
    }
    return false;
}

QVector<SetPairing::Step> SetPairing::TakeContinuous(int pushMs, bool noMoreSets)
{
    QVector<Step> steps;
    const Run run{cadence(pushMs), noMoreSets};
    if (pushMs < kShortestTimedMs) {
        takePairs(qMin(sends.times.size(), recvs.times.size()), run, steps);
        return steps;
    }
    for (;;) {
        confirmLag(run);
        const int waiting = qMin(sends.times.size(), recvs.times.size());
        if (waiting == 0)
            break;
        // The newest pair that settles settles every older one: in each
        // box's order they are what the links delivered.
        int settled = -1;
        for (int i = 0; i < waiting; ++i) {
            if (settles(i, run))
                settled = i;
        }
        if (settled >= 0) {
            takePairs(settled + 1, run, steps);
            continue;
        }
        if (lagKnown && takeSkipped(run, steps))
            continue;
        if (noMoreSets) {
            takePairs(waiting, run, steps);
            continue;
        }
        break;
    }
    return steps;
}
