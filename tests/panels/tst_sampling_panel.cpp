// The sampling panel on its own: the rows of controls each phase of the
// controller shows, the keyboard shortcuts that live with them, the input
// rules of the edits, the frequency list, the line parameters and the
// continue mode. Question boxes are answered as each case expects them.

#include "Form_SampleControl.h"
#include "HViewProxyManager.h"
#include "RecordingPrompt.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QStringList kPhases = {"DISCONN", "IDLE", "SETPARAM", "SAMPLING", "UPLOAD", "SAVING"};

// A panel as the binding leaves it: the hidden combo holds the phase names
// (the first one current), the mode selector its two modes.
struct BoundPanel
{
    explicit BoundPanel(bool bound = true)
    {
        if (bound) {
            status()->addItems(kPhases);
            mode()->addItems({QStringLiteral("定点"), QStringLiteral("拖曳")});
        }
        QObject::connect(&panel, &Form_SampleControl::clickBtnStart, [this] { emitted << "start"; });
        QObject::connect(&panel, &Form_SampleControl::clickBtnStop, [this] { emitted << "stop"; });
        QObject::connect(&panel, &Form_SampleControl::clickBtnSaveOK, [this] { emitted << "save"; });
        QObject::connect(&panel, &Form_SampleControl::clickBtnSaveCancel, [this] { emitted << "discard"; });
        QObject::connect(&panel, &Form_SampleControl::lineNoChanged,
                         [this](double v) { emitted << QStringLiteral("line %1").arg(v); });
    }
    template <typename T = QWidget>
    T* w(const char* name) const
    {
        T* found = panel.findChild<T*>(QString::fromLatin1(name));
        if (!found)
            qFatal("no widget %s", name);
        return found;
    }
    QComboBox* status() const { return w<QComboBox>("SampleStatus"); }
    QComboBox* mode() const { return w<QComboBox>("ContinueMode"); }
    QComboBox* fs() const { return w<QComboBox>("ParamFs"); }
    QLineEdit* edit(const char* name) const { return w<QLineEdit>(name); }
    QPushButton* button(const char* name) const { return w<QPushButton>(name); }

    // Status texts in turn; "" is no current phase at all.
    void enter(const QStringList& texts) const
    {
        for (const QString& text : texts) {
            if (text.isEmpty())
                status()->setCurrentIndex(-1);
            else if (status()->findText(text) >= 0)
                status()->setCurrentIndex(status()->findText(text));
            else
                status()->addItem(text), status()->setCurrentIndex(status()->count() - 1);
        }
    }

    // The buttons not hidden, by their last word.
    QString buttons() const
    {
        QStringList shown;
        for (const char* name : {"pushButton_Start", "pushButton_Stop", "pushButton_SaveOK", "pushButton_SaveCancel"})
            if (!button(name)->isHidden())
                shown << QString::fromLatin1(name).section(QLatin1Char('_'), 1);
        return shown.join(QLatin1Char(' '));
    }

    QStringList frequencies() const
    {
        QStringList texts;
        for (int i = 0; i < fs()->count(); ++i)
            texts << fs()->itemText(i);
        return texts;
    }

    // Every signal the panel emitted, in order, by name.
    QStringList emitted;
    Form_SampleControl panel;
};

// A point number held where the binding writes it.
class PointHolder : public QObject
{
    Q_OBJECT
    Q_PROPERTY(double PointNo MEMBER PointNo NOTIFY onPointNoChanged)
public:
    double PointNo = 1.0;
signals:
    void onPointNoChanged();
};

} // namespace

class TstSamplingPanel : public QObject
{
    Q_OBJECT

private slots:
    void asBuilt()
    {
        BoundPanel p(false);
        QVERIFY(p.panel.isEnabled());
        QCOMPARE(p.buttons(), QStringLiteral("Start Stop SaveOK SaveCancel"));
        QVERIFY(!p.mode()->isEnabled() && p.mode()->isHidden() && p.w("label_ContinueMode")->isHidden());
        QVERIFY(p.status()->isHidden());
        QCOMPARE(p.frequencies(), QString("0.1 0.125 0.25 0.625 1 1.25 2.5 6.25 12.5 25 62.5").split(' '));
        QCOMPARE(p.fs()->itemData(3).toDouble(), 0.625);
        QVERIFY(p.fs()->isEnabled());
    }

    void phaseRows_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<bool>("panelEnabled");
        QTest::addColumn<bool>("numbersEnabled");   // LineNo and PointNo
        QTest::addColumn<QString>("buttons");

        QTest::newRow("DISCONN") << QStringList() << false << true << "Start";
        QTest::newRow("IDLE") << QStringList{"IDLE"} << true << true << "Start";
        QTest::newRow("SETPARAM") << QStringList{"IDLE", "SETPARAM"} << true << false << "Stop";
        QTest::newRow("SAMPLING") << QStringList{"IDLE", "SAMPLING"} << true << false << "Stop";
        QTest::newRow("SAMPLING to UPLOAD") << QStringList{"SAMPLING", "UPLOAD"} << true << false
                                            << "SaveOK SaveCancel";
        QTest::newRow("IDLE to SAVING") << QStringList{"IDLE", "SAVING"} << true << true << "SaveOK SaveCancel";
        QTest::newRow("UPLOAD to IDLE") << QStringList{"SAMPLING", "UPLOAD", "IDLE"} << true << true << "Start";
        QTest::newRow("SAMPLING to DISCONN") << QStringList{"SAMPLING", "DISCONN"} << false << false << "Start";
        QTest::newRow("empty") << QStringList{"IDLE", ""} << false << true << "Start";
        QTest::newRow("unknown") << QStringList{"SAMPLING", "sampling"} << false << false << "Start";
    }

    void phaseRows()
    {
        QFETCH(QStringList, texts);
        QFETCH(bool, panelEnabled);
        QFETCH(bool, numbersEnabled);
        QFETCH(QString, buttons);

        BoundPanel p;
        p.enter(texts);
        QCOMPARE(p.panel.isEnabled(), panelEnabled);
        QCOMPARE(p.edit("LineNo")->isEnabledTo(&p.panel), numbersEnabled);
        QCOMPARE(p.edit("PointNo")->isEnabledTo(&p.panel), numbersEnabled);
        QCOMPARE(p.buttons(), buttons);
        // Stacking and repeats stay editable in every phase.
        QVERIFY(p.edit("ParamPeriod")->isEnabledTo(&p.panel));
        QVERIFY(p.edit("ParamRepeat")->isEnabledTo(&p.panel));
    }

    void shortcuts_data()
    {
        QTest::addColumn<QString>("phase");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("emitted");
        QTest::addColumn<QString>("asked");

        QTest::newRow("Space in IDLE") << "IDLE" << int(Qt::Key_Space) << false << "start" << "";
        QTest::newRow("S in IDLE") << "IDLE" << int(Qt::Key_S) << false << "" << "";
        QTest::newRow("Esc in IDLE") << "IDLE" << int(Qt::Key_Escape) << true << "" << "";
        QTest::newRow("Space in DISCONN") << "DISCONN" << int(Qt::Key_Space) << false << "" << "";
        QTest::newRow("Space in SAMPLING") << "SAMPLING" << int(Qt::Key_Space) << false << "" << "";
        QTest::newRow("Esc in SAMPLING, yes") << "SAMPLING" << int(Qt::Key_Escape) << true << "stop"
                                              << "停止采集|请确认停止当前采集！";
        QTest::newRow("Esc in SETPARAM, no") << "SETPARAM" << int(Qt::Key_Escape) << false << ""
                                             << "停止采集|请确认停止当前采集！";
        QTest::newRow("S in UPLOAD") << "UPLOAD" << int(Qt::Key_S) << false << "save" << "";
        QTest::newRow("C in UPLOAD, yes") << "UPLOAD" << int(Qt::Key_C) << true << "discard"
                                          << "停止采集|请确认取消保存！";
        QTest::newRow("C in SAVING, no") << "SAVING" << int(Qt::Key_C) << false << ""
                                         << "停止采集|请确认取消保存！";
        QTest::newRow("Esc in UPLOAD") << "UPLOAD" << int(Qt::Key_Escape) << true << "" << "";
    }

    void shortcuts()
    {
        QFETCH(QString, phase);
        QFETCH(int, key);
        QFETCH(bool, answer);
        QFETCH(QString, emitted);
        QFETCH(QString, asked);

        RecordingPrompt prompt;
        if (!asked.isEmpty())
            prompt.expectQuestion(answer).titled(asked.section('|', 0, 0)).saying(asked.section('|', 1));
        BoundPanel p;
        p.enter({phase});
        p.panel.show();
        // Under Wine with the suite running alongside, activation can take longer.
        QApplication::setActiveWindow(&p.panel);
        QVERIFY(QTest::qWaitForWindowActive(&p.panel, 20000));
        // Keys go to the panel, not into an edit that would take them as text.
        p.panel.setFocus();
        p.emitted.clear();   // the line edit that had the focus reported its number

        QTest::keyClick(&p.panel, Qt::Key(key));
        // A shortcut presses its button at once and clicks it a moment later.
        QPushButton* pressed = nullptr;
        for (QPushButton* b : p.panel.findChildren<QPushButton*>())
            if (b->isDown())
                pressed = b;
        QCOMPARE(pressed != nullptr, !asked.isEmpty() || !emitted.isEmpty());
        if (pressed) {
            QSignalSpy clicked(pressed, &QPushButton::clicked);
            QVERIFY(clicked.wait());
        }
        QCOMPARE(p.emitted.join(' '), emitted);
        QStringList questions;
        for (const RecordingPrompt::Shown& s : prompt.shown) {
            QCOMPARE(s.kind, Prompt::Kind::Question);
            questions << s.title + '|' + s.text;
        }
        QCOMPARE(questions.join(' '), asked);
    }

    void inputRules_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");

        QTest::newRow("line zero") << "LineNo" << "0123" << "0";
        QTest::newRow("line negative") << "LineNo" << "-12" << "-12";
        QTest::newRow("line seven digits") << "LineNo" << "12345678" << "1234567";
        QTest::newRow("line whole") << "LineNo" << "1.5" << "15";
        QTest::newRow("point one decimal") << "PointNo" << "12.34" << "12.3";
        QTest::newRow("point negative") << "PointNo" << "-3.5" << "-3.5";
        QTest::newRow("point no comma") << "PointNo" << "1,5" << "15";
        QTest::newRow("periods no zero first") << "ParamPeriod" << "0250" << "250";
        QTest::newRow("periods five digits") << "ParamPeriod" << "123456" << "12345";
        QTest::newRow("periods no sign") << "ParamPeriod" << "-5" << "5";
        QTest::newRow("repeats digits only") << "ParamRepeat" << "a7.1" << "71";
    }

    void inputRules()
    {
        QFETCH(QString, edit);
        QFETCH(QString, typed);
        QFETCH(QString, kept);

        BoundPanel p;
        p.enter({"IDLE"});
        QLineEdit* e = p.edit(edit.toLatin1().constData());
        QVERIFY(e->inputMethodHints() & Qt::ImhDigitsOnly);
        e->clear();
        QTest::keyClicks(e, typed);
        QCOMPARE(e->text(), kept);
    }

    // The binding reads an edited point number in the C locale; the edit
    // must not take a number written any other way, whatever the system's
    // locale, or it is written back as 0.
    void pointNumberWrittenBackAsTyped_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<double>("written");
        QTest::newRow("point") << "12.5" << 12.5;
        QTest::newRow("comma") << "1,5" << 15.0;
        QTest::newRow("negative") << "-3.5" << -3.5;
    }

    void pointNumberWrittenBackAsTyped()
    {
        QFETCH(QString, typed);
        QFETCH(double, written);

        const QLocale previous;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        auto restore = qScopeGuard([previous] { QLocale::setDefault(previous); });
        BoundPanel p;
        p.enter({"IDLE"});
        PointHolder holder;
        holder.setObjectName(QStringLiteral("DataModel"));
        HViewProxyManager manager;
        QVERIFY(manager.registerObject(&holder));
        QVERIFY(manager.bind(QStringLiteral("DataModel"), QStringLiteral("PointNo"), p.edit("PointNo"),
                             QStringLiteral("%.6g")));

        p.edit("PointNo")->clear();
        QTest::keyClicks(p.edit("PointNo"), typed);
        QTest::keyClick(p.edit("PointNo"), Qt::Key_Return);
        QCOMPARE(holder.PointNo, written);
    }

    void startNeedsEveryEdit_data()
    {
        QTest::addColumn<QString>("emptied");
        QTest::addColumn<int>("mode");
        for (const char* edit : {"LineNo", "PointNo", "ParamPeriod", "ParamRepeat"}) {
            QTest::addRow("%s", edit) << edit << 0;
            QTest::addRow("%s, continuous", edit) << edit << 1;   // PointNo and ParamRepeat hidden
        }
    }

    void startNeedsEveryEdit()
    {
        QFETCH(QString, emptied);
        QFETCH(int, mode);

        BoundPanel p;
        p.enter({"IDLE"});
        p.mode()->setCurrentIndex(mode);
        QLineEdit* e = p.edit(emptied.toLatin1().constData());
        const QString text = e->text();
        e->clear();
        QVERIFY(!p.button("pushButton_Start")->isEnabled());
        e->setText(text);
        QVERIFY(p.button("pushButton_Start")->isEnabled());
    }

    void startLocksFrequencyAndMode()
    {
        BoundPanel p;
        p.enter({"IDLE"});
        p.panel.onChangeLine(true);
        p.button("pushButton_Start")->click();
        QCOMPARE(p.emitted.join(' '), QStringLiteral("start"));
        QVERIFY(!p.fs()->isEnabledTo(&p.panel));
        QVERIFY(!p.mode()->isEnabledTo(&p.panel));
    }

    void frequencyList()
    {
        BoundPanel p;
        const QStringList built = p.frequencies();
        p.panel.addFs(0.5);
        QCOMPARE(p.frequencies().mid(2, 3), QString("0.25 0.5 0.625").split(' '));
        p.panel.addFs(0.05);
        p.panel.addFs(0.1);
        QCOMPARE(p.frequencies().mid(0, 2), QString("0.05 0.1").split(' '));
        QCOMPARE(p.fs()->itemData(0).toDouble(), 0.05);
        QCOMPARE(p.frequencies().size(), built.size() + 2);

        BoundPanel dev;
        dev.panel.developerMode(true);
        QVERIFY(!dev.mode()->isHidden() && !dev.w("label_ContinueMode")->isHidden());
        QCOMPARE(dev.frequencies(), built + QStringList{"100"});
        dev.panel.addFs(100);
        dev.panel.developerMode(true);
        dev.panel.developerMode(false);
        QVERIFY(dev.mode()->isHidden() && dev.w("label_ContinueMode")->isHidden());
        QCOMPARE(dev.frequencies(), built + QStringList{"100"});
        QCOMPARE(dev.fs()->itemData(built.size()).toDouble(), 100.0);
    }

    // A sounding started on a line: frequency and mode are open again once
    // it has ended without a stored point on a line that still has none,
    // with the chosen mode kept.
    void endedSoundingReopensANewLine_data()
    {
        QTest::addColumn<bool>("newLine");
        QTest::addColumn<QStringList>("after");   // the phases after the start, in turn
        QTest::addColumn<bool>("stored");         // the tree reports the line as stored
        QTest::addColumn<bool>("open");
        QTest::newRow("cancelled, new line") << true << QStringList{"SETPARAM", "SAMPLING", "IDLE"} << false << true;
        QTest::newRow("dropped, new line") << true << QStringList{"SAMPLING", "DISCONN", "IDLE"} << false << true;
        QTest::newRow("discarded, new line") << true << QStringList{"SAMPLING", "UPLOAD", "IDLE"} << false << true;
        QTest::newRow("still sampling") << true << QStringList{"SETPARAM", "SAMPLING"} << false << false;
        QTest::newRow("links gone, not back") << true << QStringList{"SAMPLING", "DISCONN"} << false << false;
        QTest::newRow("stored, new line") << true << QStringList{"SAMPLING", "UPLOAD", "SAVING", "IDLE"} << true << false;
        QTest::newRow("cancelled, line with points") << false << QStringList{"SAMPLING", "IDLE"} << false << false;
    }

    void endedSoundingReopensANewLine()
    {
        QFETCH(bool, newLine);
        QFETCH(QStringList, after);
        QFETCH(bool, stored);
        QFETCH(bool, open);
        BoundPanel p;
        p.enter({"IDLE"});
        p.panel.onChangeLine(newLine);
        p.mode()->setCurrentIndex(1);
        p.edit("PointNo")->setText(QStringLiteral("40"));
        p.button("pushButton_Start")->click();
        for (const QString& phase : after) {
            if (phase == QLatin1String("IDLE") && stored)
                p.panel.onChangeLine(false);   // the save told the panel first
            p.enter({phase});
        }
        QCOMPARE(p.fs()->isEnabledTo(&p.panel), open);
        QCOMPARE(p.mode()->isEnabledTo(&p.panel), open);
        QCOMPARE(p.mode()->currentIndex(), 1);
        QCOMPARE(p.edit("PointNo")->text(), QStringLiteral("40"));
    }

    void lineParameters()
    {
        BoundPanel p;
        p.fs()->setCurrentIndex(0);
        p.mode()->setCurrentIndex(1);
        p.panel.onChangeLine(true);
        QCOMPARE(p.mode()->currentIndex(), 0);
        QVERIFY(p.fs()->isEnabledTo(&p.panel) && p.mode()->isEnabledTo(&p.panel));

        p.panel.onLoad_Param(6.25, 50, 1);
        QCOMPARE(p.fs()->currentText(), QStringLiteral("6.25"));
        QCOMPARE(p.edit("ParamPeriod")->text(), QStringLiteral("50"));
        QCOMPARE(p.mode()->currentIndex(), 0);
        QVERIFY(!p.fs()->isEnabledTo(&p.panel) && !p.mode()->isEnabledTo(&p.panel));

        p.panel.onChangeLine(true);
        p.panel.onLoad_Param(3, 40, 0);   // not listed: the selection stays
        QCOMPARE(p.fs()->currentText(), QStringLiteral("6.25"));
        QCOMPARE(p.edit("ParamPeriod")->text(), QStringLiteral("40"));
        QVERIFY(!p.fs()->isEnabledTo(&p.panel) && !p.mode()->isEnabledTo(&p.panel));

        p.mode()->setCurrentIndex(1);
        p.panel.onChangeLine(false);
        QCOMPARE(p.mode()->currentIndex(), 1);
        QVERIFY(!p.fs()->isEnabledTo(&p.panel) && !p.mode()->isEnabledTo(&p.panel));
    }

    void continuousMode()
    {
        BoundPanel p;
        p.mode()->addItem(QStringLiteral("third"));
        const QList<const char*> pointWidgets = {"label_PointNo", "PointNo", "label_ParamRepeat", "ParamRepeat",
                                                 "label_3"};
        for (int index : {1, 0, 1, 2}) {
            p.mode()->setCurrentIndex(index);
            for (const char* name : pointWidgets)
                QVERIFY2(p.w(name)->isHidden() == (index == 1), name);
            QCOMPARE(p.button("pushButton_Stop")->text(),
                     index == 1 ? QStringLiteral("停止采集") : QStringLiteral("取消采集"));
        }
    }

    void lineNumberFinished()
    {
        RecordingPrompt prompt;
        BoundPanel p;
        p.enter({"IDLE"});
        QLineEdit* line = p.edit("LineNo");
        line->clear();
        QTest::keyClicks(line, QStringLiteral("-12"));
        QTest::keyClick(line, Qt::Key_Return);
        QCOMPARE(p.emitted.join(' '), QStringLiteral("line -12"));
        QVERIFY(prompt.shown.isEmpty());

        // Text the binding put there is not checked by the input rule.
        line->setText(QStringLiteral("nan?"));
        prompt.expect(Prompt::Kind::Warning).titled(QStringLiteral("错误"));
        emit line->editingFinished();
        QCOMPARE(p.emitted.join(' '), QStringLiteral("line -12"));
        QCOMPARE(prompt.shown.size(), 1);
        QCOMPARE(prompt.shown.at(0).kind, Prompt::Kind::Warning);
        QCOMPARE(prompt.shown.at(0).title, QStringLiteral("错误"));
        QCOMPARE(prompt.shown.at(0).text, QStringLiteral("线号请输入数字！"));
        QCOMPARE(line->text(), QStringLiteral("nan?"));
    }

    // Closing the window takes the focus from the line edit while the panel
    // is being destroyed; its editing-finished must not reach the panel.
    void destroyedWhileAnEditHasTheFocus()
    {
        auto* p = new BoundPanel;
        p->enter({"IDLE"});
        p->panel.show();
        QApplication::setActiveWindow(&p->panel);
        QVERIFY(QTest::qWaitForWindowActive(&p->panel));
        p->edit("LineNo")->setFocus();
        QVERIFY(p->edit("LineNo")->hasFocus());
        delete p;
    }
};

QTEST_MAIN(TstSamplingPanel)
#include "tst_sampling_panel.moc"
