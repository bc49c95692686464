// The controller's bookkeeping of the boxes' run on its own: which box may
// be acquiring and which owes a stop after each road a run can take, whose
// sets are kept after a failed save, whether a save is in progress and
// whether it failed, and what the status says about an ended sounding.

#include "RunLedger.h"

#include <QtTest>

namespace {

// Owed stops of both boxes as text: "RT" both, "R" the receiver's only, "-" none.
QString owed(const RunLedger& run)
{
    QString out;
    if (run.owesStop(RunLedger::Receiver))
        out += QLatin1Char('R');
    if (run.owesStop(RunLedger::Transmitter))
        out += QLatin1Char('T');
    return out.isEmpty() ? QStringLiteral("-") : out;
}

} // namespace

class TstRunLedger : public QObject
{
    Q_OBJECT
private slots:
    void roadsOfARun_data()
    {
        QTest::addColumn<QString>("road");
        QTest::addColumn<bool>("mayRun");
        QTest::addColumn<QString>("owed");
        QTest::newRow("nothing started") << "" << false << "-";
        QTest::newRow("started") << "start" << true << "-";
        QTest::newRow("started, then stopped") << "start stop" << false << "-";
        QTest::newRow("started, then abandoned") << "start abandon" << false << "RT";
        QTest::newRow("single acquisition in, then abandoned") << "start in abandon" << false << "-";
        QTest::newRow("abandoned twice owes once") << "start abandon abandon" << false << "RT";
        QTest::newRow("abandoned, then stopped") << "start abandon stop" << false << "-";
        QTest::newRow("abandoned, receiver paid") << "start abandon payR" << false << "T";
        QTest::newRow("abandoned, started again") << "start abandon start" << true << "RT";
        // The links go with only one box reachable: the other owes its stop.
        QTest::newRow("receiver stopped, then abandoned") << "start stopR abandon" << false << "T";
        QTest::newRow("both stopped one by one") << "start stopR stopT" << false << "-";
        // A box whose sets are kept after a failed save and whose link goes.
        QTest::newRow("kept, transmitter's link closed") << "start stop keep closeT" << false << "T";
        QTest::newRow("kept, stop answered, link closed") << "start stop keep answerT closeT" << false << "-";
        // The operator saves what was kept before each box has answered.
        QTest::newRow("kept, run left unanswered") << "start stop keep leave" << false << "RT";
        QTest::newRow("kept, receiver answered, run left") << "start stop keep answerR leave" << false << "T";
        QTest::newRow("kept, run left, link closed") << "start stop keep leave closeT" << false << "RT";
        QTest::newRow("link closed while nothing kept") << "start closeR" << true << "-";
        // The other link was lost: the reachable box is stopped at once, and
        // owes its stop again if its own link goes before it answered.
        QTest::newRow("stopped as the other link went") << "start awaitT abandon" << false << "R";
        QTest::newRow("stopped as the other link went, then its own") << "start awaitT abandon closeT" << false << "RT";
        QTest::newRow("stopped as the other link went, answered, then its own")
            << "start awaitT abandon answerT closeT" << false << "R";
        QTest::newRow("stopped as the other link went, delivered, links let go")
            << "start awaitT abandon delivered closeT" << false << "R";
    }

    void roadsOfARun()
    {
        QFETCH(QString, road);
        QFETCH(bool, mayRun);
        QFETCH(QString, owed);
        RunLedger run;
        for (const QString& step : road.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const RunLedger::Box box = step.endsWith(QLatin1Char('R')) ? RunLedger::Receiver : RunLedger::Transmitter;
            if (step == QLatin1String("start"))
                run.started();
            else if (step == QLatin1String("stop"))
                run.stopped();
            else if (step.startsWith(QLatin1String("stop")))
                run.stopSent(box);
            else if (step.startsWith(QLatin1String("await")))
                run.stopSentAwaitingReply(box);
            else if (step == QLatin1String("delivered"))
                run.stopsDelivered();
            else if (step == QLatin1String("leave"))
                run.leftUnanswered();
            else if (step == QLatin1String("abandon"))
                run.abandoned();
            else if (step == QLatin1String("in"))
                run.acquisitionIn();
            else if (step == QLatin1String("keep"))
                run.keepUntilStopped();
            else if (step.startsWith(QLatin1String("pay")))
                QVERIFY(run.payStop(box));
            else if (step.startsWith(QLatin1String("answer")))
                run.stopAnswered(box);
            else if (step.startsWith(QLatin1String("close")))
                run.linkClosed(box);
            else
                QFAIL("unknown step");
        }
        QCOMPARE(run.mayRun(), mayRun);
        QCOMPARE(::owed(run), owed);
        for (const RunLedger::Box box : {RunLedger::Receiver, RunLedger::Transmitter}) {
            QCOMPARE(run.needsStop(box), mayRun || run.owesStop(box));
            // A stop is paid once.
            const bool wasOwed = run.owesStop(box);
            QCOMPARE(run.payStop(box), wasOwed);
            QVERIFY(!run.payStop(box));
        }
    }

    void keptSetsUntilEachBoxAnswers()
    {
        RunLedger run;
        QVERIFY(!run.keepsAny());
        run.keepUntilStopped();
        QVERIFY(run.keeps(RunLedger::Receiver) && run.keeps(RunLedger::Transmitter));
        run.stopAnswered(RunLedger::Receiver);
        QVERIFY(!run.keeps(RunLedger::Receiver));
        QVERIFY(run.keeps(RunLedger::Transmitter));
        QVERIFY(run.keepsAny());
        run.soundingOver();
        QVERIFY(!run.keepsAny());
    }

    void aSaveAndItsFailure()
    {
        RunLedger run;
        QVERIFY(!run.saving());
        run.beginSave();
        QVERIFY(run.saving());
        run.attemptSave();
        QVERIFY(!run.lastSaveFailed());
        run.saveFailed();
        QVERIFY(run.lastSaveFailed());
        run.attemptSave();
        QVERIFY(!run.lastSaveFailed());
        run.endSave();
        QVERIFY(!run.saving());
    }

    void endingIsSaidUntilForgotten()
    {
        RunLedger run;
        QVERIFY(!run.forgetEnding());
        run.dropped();
        QVERIFY(run.droppedSounding());
        QVERIFY(!run.showsEnding());
        run.endingShown();
        QVERIFY(run.showsEnding());
        QVERIFY(run.forgetEnding());
        QVERIFY(!run.droppedSounding());
        QVERIFY(!run.showsEnding());
        QVERIFY(!run.forgetEnding());
    }
};

QTEST_GUILESS_MAIN(TstRunLedger)
#include "tst_runledger.moc"
