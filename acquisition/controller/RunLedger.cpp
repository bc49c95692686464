#include "RunLedger.h"

void RunLedger::stopped()
{
    running = false;
    owed[Receiver] = owed[Transmitter] = false;
}

void RunLedger::abandoned()
{
    if (running)
        owed[Receiver] = owed[Transmitter] = true;
    running = false;
}

bool RunLedger::payStop(Box box)
{
    const bool wasOwed = owed[box];
    owed[box] = false;
    return wasOwed;
}

void RunLedger::linkClosed(Box box)
{
    if (!kept[box])
        return;
    kept[box] = false;
    owed[box] = true;
}

void RunLedger::arrived(Box box, int pending)
{
    if (inSave && during[box] == pending)
        ++during[box];
}

void RunLedger::soundingOver()
{
    kept[Receiver] = kept[Transmitter] = false;
    during[Receiver] = during[Transmitter] = 0;
}

bool RunLedger::forgetEnding()
{
    const bool shown = noteShown;
    wasDropped = false;
    noteShown = false;
    return shown;
}
