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
// delivers what it held is only late. A set is dropped only where a box has
// really skipped a push: its partner's next sets then come, on time and one
// sounding time apart, a whole sounding time later than the pairing expects.

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
    // more to this run, and what still waits is paired in order.
    QVector<Step> TakeContinuous(int pushMs, bool noMoreSets = false);

private:
    struct Queue
    {
        QVector<qint64> times;      // waiting sets, oldest first
        qint64 lastTaken = 0;       // the last set taken off, paired or dropped
        bool anyTaken = false;
        qint64 lastGap = 0;         // between the two latest sets added

        // Gaps to the box's set before and after the i-th; -1 for a gap not
        // known yet, kNoGap where there is no such set at all.
        qint64 gapBefore(int i) const;
        qint64 gapAfter(int i, bool noMoreSets) const;
        void takeFront(int n);
    };

    struct Run
    {
        int pushMs;
        bool noMoreSets;
    };

    int cadence(int pushMs) const;
    qint64 expectedLag() const { return lagKnown ? lag : 0; }
    bool inStep(qint64 sendMs, qint64 recvMs, const Run& run) const;
    bool settles(int i, const Run& run) const;
    void noteLag(int i, const Run& run);
    void confirmLag(const Run& run);
    bool takeSkipped(const Run& run, QVector<Step>& steps);
    void takePairs(int n, const Run& run, QVector<Step>& steps);

    static bool bunched(const Queue& q, int i, const Run& run);
    static bool onCadenceAround(const Queue& q, int i, const Run& run);
    static bool onTime(const Queue& q, int i, const Run& run);
    static bool onCadence(qint64 gap, const Run& run);

    Queue sends;
    Queue recvs;
    QVector<qint64> pushGaps;   // the latest gaps both boxes showed alike
    // How much later than its receiver set a transmitter set of the same
    // push arrives, as the last pair in step showed (unknown at a start).
    bool lagKnown = false;
    qint64 lag = 0;
    // The lag of the last pair taken, until its boxes' next sets show
    // whether it came on cadence.
    bool lagToConfirm = false;
    qint64 lagCandidate = 0;
};
