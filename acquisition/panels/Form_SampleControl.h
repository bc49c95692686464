#pragma once
// The operator's control strip of the sampling page: line and point number,
// transmit frequency, stacking and repeat counts, the continue-mode selector
// (developer mode only) and the start, stop, save and discard buttons. The
// panel never calls the controller: its buttons end in signals the window
// forwards, and its parameter widgets carry the names of the properties the
// binding shows in them. It follows the controller's phase through the
// hidden SampleStatus combo, which the binding fills with the phase names.

#include <QWidget>

namespace Ui {
class Form_SampleControl;
}

// The question asked before a kept or running sounding is dropped (the
// discard button's, and every other road that drops one); true on "yes".
bool ConfirmDropSounding(QWidget* parent);

class Form_SampleControl : public QWidget
{
    Q_OBJECT
public:
    explicit Form_SampleControl(QWidget* parent = nullptr);
    ~Form_SampleControl() override;

signals:
    void clickBtnStart();
    void clickBtnStop();
    void clickBtnSaveOK();
    void clickBtnSaveCancel();
    void lineNoChanged(double);

public slots:
    // The stored parameters of a line: frequency and stacking are shown and
    // locked; the continue mode is not taken from here.
    void onLoad_Param(double SendFs, int SendPeriod, int ContinueMode);
    // A new line unlocks frequency and continue mode (back to single mode),
    // a line that has soundings locks them.
    void onChangeLine(bool isNewLine);
    void developerMode(bool isOpen);
    // Adds a frequency in ascending order unless it is listed already.
    void addFs(double v);

private slots:
    void changeSampleStatus(QString status);
    void confirmStop();
    void confirmSaveCancel();
    void onEditingFinished();
    void onTextChanged();
    void changeContinueMode(int index);

private:
    void onContinueModeIndexChanged(int index);
    void onBtnStartClicked();

    Ui::Form_SampleControl* ui;
    // The tree's last word on the current line: it has no stored point.
    bool lineIsNew = false;
};
