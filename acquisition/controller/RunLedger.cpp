#include "RunLedger.h"

#include <initializer_list>

void RunLedger::stopSent(Box box)
{
    running[box] = false;
    owed[box] = false;
}

void RunLedger::stopSentAwaitingReply(Box box)
{
    stopSent(box);
    awaited[box] = true;
}

void RunLedger::stopped()
{
    stopSent(Receiver);
    stopSent(Transmitter);
}

void RunLedger::abandoned()
{
    for (const Box box : {Receiver, Transmitter}) {
        if (running[box])
            owed[box] = true;
        running[box] = false;
    }
}

bool RunLedger::payStop(Box box)
{
    const bool wasOwed = owed[box];
    owed[box] = false;
    return wasOwed;
}

void RunLedger::linkClosed(Box box)
{
    if (!kept[box] && !awaited[box])
        return;
    kept[box] = awaited[box] = false;
    owed[box] = true;
}

void RunLedger::leftUnanswered()
{
    for (const Box box : {Receiver, Transmitter}) {
        if (kept[box])
            owed[box] = true;
        kept[box] = false;
    }
}

void RunLedger::soundingOver()
{
    kept[Receiver] = kept[Transmitter] = false;
}

bool RunLedger::forgetEnding()
{
    const bool shown = noteShown;
    wasDropped = false;
    noteShown = false;
    return shown;
}
