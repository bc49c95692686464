#pragma once
// The status panel of the sampling page: link status, sounding progress,
// transmitter temperature, the parameters of the current sounding, the
// connect and disconnect buttons and the use box of the current sample.
// Every shown value is written into its widget by the property binding,
// which finds the widgets by object name; the progress bar follows two
// hidden edits that the binding fills with the progress and its maximum.

#include <QWidget>

#include <functional>

namespace Ui {
class Form_Status;
}

class Form_Status : public QWidget
{
    Q_OBJECT
public:
    explicit Form_Status(QWidget* parent = nullptr);
    ~Form_Status() override;

    // Presses connect (true) or disconnect (false) as the operator would,
    // also while the connect button is hidden.
    void clickConnect(bool connect);

    // Tells whether a sounding that the disconnect button would drop is
    // running or waiting to be saved; while it says so, the operator's click
    // asks first. A press through clickConnect is not asked about: its
    // caller has asked already.
    void setSoundingHeld(std::function<bool()> held);
    // Nothing held, or the operator agreed to drop it.
    bool mayDropSounding();

signals:
    void useChanged(bool);
    void clickBtnConnect();
    void clickBtnDisconn();

public slots:
    // Shows the current sample's use flag without reporting it back.
    void onUse(bool use);

private slots:
    void changeProgressCur(QString text);
    void changeProgressMax(QString text);

private:
    // An empty, disabled bar unless the maximum is a positive number.
    bool takeMaximum(const QString& text);
    void disconnectPressed();

    std::function<bool()> soundingHeld;

    Ui::Form_Status* ui;
    int progressMax = 0;
};
