#pragma once
// Which data sets of the transmitter and the receiver belong together.
//
// Each box's sets are added in the order they arrived, with the time each
// was received, in milliseconds on any clock that moves on evenly; the
// pairing never looks at the data themselves, only at the order and the
// times, and says what to do with the oldest sets waiting.
//
// While a link stays up, TCP delivers every set of its box, in order, so a
// continuous run pairs in each box's order: a link that stalls and then
// delivers what it held is only late, and a link whose latency changes for
// good is only slower or faster. A set is dropped only on evidence that a
// box really skipped a push: a gap of two pushes or more in that box's own
// arrivals, after which it is on cadence again; or, where a stall hid the
// gap, a lag between the boxes that has changed for good by whole pushes.
// The other box's timing alone never drops a set.

#include <QVector>
#include <QtGlobal>

class SetPairing
{
public:
    enum class Box { Send, Recv };
    // What to do with the oldest waiting sets, one step after the other.
    enum class Step {
        Pair,       // the oldest set of each box belong together
        DropSend,   // the oldest transmitter set has no partner
        DropRecv,   // the oldest receiver set has no partner
    };
    // Why a step was taken.
    enum class Reason {
        InStep,       // a pair whose lag is the one expected, the first of a run, or of untimed links
        CatchingUp,   // a pair of which one set came late, with what its link held back
        LagChanged,   // a pair in order, though its lag has moved by less than a push
        Unconfirmed,  // a pair in order, though its lag has moved by whole pushes
        GapInArrivals,// a drop: the other box's arrivals show a push it skipped
        LagShifted,   // a drop: the lag moved by whole pushes, and stays so
    };
    struct Decision
    {
        Step step;
        Reason reason;
        // A pair's lag less the one expected, in ms (0 while none is known);
        // for a drop, the pushes the other box skipped.
        qint64 lagOffMs = 0;
        bool lagKnown = false;
        // The sounding time, or the longer cadence the boxes were seen to keep.
        int cadenceMs = 0;
        // A step the times do not vouch for: a drop, or a pair whose lag is
        // more than a quarter of a push off the one expected.
        bool Doubtful() const
        {
            return step != Step::Pair || (lagKnown && 4 * qAbs(lagOffMs) > cadenceMs);
        }
    };

    // A new sounding: nothing waits and nothing is known of the links.
    void Reset();
    // A set of `box` arrived at `receivedMs`, after every set added before.
    void Add(Box box, qint64 receivedMs);
    int Waiting(Box box) const;

    // A single sounding: its record holds every waiting set of both boxes,
    // oldest first. False while the record cannot be made yet; otherwise
    // the oldest sets of each box to drop first (the surplus of a box that
    // delivered more, once both have at least `repeats`). Pairs are not
    // taken: they wait for the next repeat's record.
    bool TakeSingle(int repeats, int* dropSends, int* dropRecvs);

    // A continuous run, each box pushing one set every `pushMs` (a sounding
    // time) or, as the sets show, less often: the steps to take now; the
    // sets they pair or drop are taken off the waiting ones. A set whose
    // place is not known yet waits. `noMoreSets`: the boxes deliver nothing
    // more to this run, and what still waits is decided on what is known.
    QVector<Decision> TakeContinuous(int pushMs, bool noMoreSets = false);

private:
    struct Queue
    {
        QVector<qint64> times;      // waiting sets, oldest first
        qint64 lastTaken = 0;       // the last set taken off, paired or dropped
        bool anyTaken = false;
        qint64 lastGap = 0;         // between the two latest sets added
        // The push the last set taken off belongs to, counted from the
        // run's first set of this box.
        qint64 lastPush = 0;
        QVector<qint64> recentGaps; // the box's latest gaps, for its link's jitter

        // Gaps to the box's set before and after the i-th; -1 for a gap not
        // known yet, kNoGap where there is no such set at all.
        qint64 gapBefore(int i) const;
        qint64 gapAfter(int i, bool noMoreSets) const;
        void takeFront(qint64 push);
    };

    struct Run
    {
        qint64 pushMs;
        bool noMoreSets;
    };

    int cadence(int pushMs) const;
    int pushesBefore(const Queue& q, const Run& run) const;
    bool inStep(qint64 sendMs, qint64 recvMs, const Run& run) const;
    qint64 expectedLag() const;
    void noteLag(qint64 lag);

    static bool onCadence(qint64 gap, const Run& run);
    static bool jittery(const Queue& q, const Run& run);

    Queue sends;
    Queue recvs;
    QVector<qint64> pushGaps;   // the latest gaps both boxes showed alike
    // How much later than its receiver set a transmitter set of the same
    // push arrives, as the latest pairs whose sets came on their links'
    // usual time showed (none at a start).
    QVector<qint64> lags;
    // Sets still to drop because the lag moved by whole pushes.
    int shiftedDrops = 0;
};
