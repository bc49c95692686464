#pragma once
// What the acquisition controller knows about the boxes' run beside its
// state machine: whether the boxes may be acquiring, which box still owes a
// stop, whose sets are still kept after a stop until the box has answered
// it, whether a save is in progress, and what the connection status says
// about how the last sounding ended.
//
// Plain bookkeeping: it sends nothing and knows neither links nor states.
// The controller writes it as things happen and decides on it, so a
// decision does not depend on whether the machine has already taken the
// transition of the same signal.

class RunLedger
{
public:
    enum Box { Receiver = 0, Transmitter = 1 };

    // ---- acquiring and stops

    // The start command went out: the boxes may acquire until stopped.
    void started() { running[Receiver] = running[Transmitter] = true; }
    // A single acquisition is in: the boxes wait for the next start.
    void acquisitionIn() { running[Receiver] = running[Transmitter] = false; }
    // The box's stop command went out: it neither acquires nor owes a stop.
    void stopSent(Box box);
    // The box's stop command went out just as the other box's link was
    // lost, and its own link may be going the same way: should it close
    // before the box has answered, the stop may never have reached it.
    void stopSentAwaitingReply(Box box);
    // What was written to the links has reached the wire before the program
    // let them go: a stop sent that way is no longer in doubt.
    void stopsDelivered() { awaited[Receiver] = awaited[Transmitter] = false; }
    // Both stop commands went out.
    void stopped();
    // The run was left without stop commands (a lost link, the links
    // closed): each box that may still be acquiring owes one.
    void abandoned();
    bool mayRun() const { return running[Receiver] || running[Transmitter]; }
    bool owesStop(Box box) const { return owed[box]; }
    // True when the box owed a stop; from now on it does not.
    bool payStop(Box box);
    // A box that may be acquiring or owes a stop would be left running if
    // its link went now.
    bool needsStop(Box box) const { return running[box] || owed[box]; }

    // ---- sets kept after a failed save of a continuous run

    // Both boxes were just told to stop: what they deliver until each has
    // answered belongs to the run.
    void keepUntilStopped() { kept[Receiver] = kept[Transmitter] = true; }
    // The box answered its stop, or its stop was given up.
    void stopAnswered(Box box) { kept[box] = awaited[box] = false; }
    // The box's link closed: nothing more comes from it, and a stop it has
    // not answered may not have gone out, so it owes one once it is back.
    void linkClosed(Box box);
    bool keeps(Box box) const { return kept[box]; }
    bool keepsAny() const { return kept[Receiver] || kept[Transmitter]; }
    // The run ends before each box has answered its stop (the operator
    // saved what was kept): one that has not owes its stop from now on, and
    // nothing more it delivers is kept.
    void leftUnanswered();

    // The sounding is over (stored, discarded or stopped for good): nothing
    // more is kept for it.
    void soundingOver();

    // ---- a save of continuous pairs in progress
    //
    // The project may warn of a failed save, and the warning box runs an
    // event loop inside the save: pairs made meanwhile wait for the save in
    // progress instead of starting another, so a project that cannot store
    // warns once.

    bool saving() const { return inSave; }
    void beginSave() { inSave = true; }
    void endSave() { inSave = false; }
    // One pair is handed to the project: no failure heard for it yet.
    void attemptSave() { failed = false; }
    // The project reported the save just asked for as failed.
    void saveFailed() { failed = true; }
    bool lastSaveFailed() const { return failed; }

    // ---- how the last sounding ended, as the status says it

    // A lost link abandoned the running sounding: said once the links are
    // back, until the next start.
    void dropped() { wasDropped = true; }
    bool droppedSounding() const { return wasDropped; }
    // The connection status now says why the last sounding ended.
    void endingShown() { noteShown = true; }
    bool showsEnding() const { return noteShown; }
    // Nothing is said about an earlier sounding any more (a new start, the
    // links closed); true when the status said something, which must then
    // be replaced.
    bool forgetEnding();

private:
    bool running[2] = {false, false};
    bool owed[2] = {false, false};
    bool kept[2] = {false, false};
    bool awaited[2] = {false, false};
    bool inSave = false;
    bool failed = false;
    bool wasDropped = false;
    bool noteShown = false;
};
