#pragma once
// Test side of the Prompt seam: records what the program asked and answers
// from replies the test prepared.

#include "Prompt.h"

// Records every prompt and answers from prepared replies, for headless runs.
// Installs itself while it lives.
class RecordingPrompt : public Prompt
{
public:
    struct Shown
    {
        Kind kind;
        QString title;
        QString text;
        // Number input only: what the dialog offered.
        double start = 0.0;
        double min = 0.0;
        double max = 0.0;
        int decimals = 0;
    };

    RecordingPrompt();
    ~RecordingPrompt() override;

    QList<Shown> shown;
    // Answers to questions, oldest first; without one the answer is No.
    QList<bool> questionAnswers;
    // Answers to number inputs, oldest first; without one the input is cancelled.
    QList<double> numberAnswers;
    // Number inputs that are accepted without an edit (the start value
    // comes back); used before numberAnswers.
    int acceptUnchanged = 0;

    int count(Kind kind) const;

    void information(QWidget* parent, const QString& title, const QString& text) override;
    void warning(QWidget* parent, const QString& title, const QString& text) override;
    void critical(QWidget* parent, const QString& title, const QString& text) override;
    bool question(QWidget* parent, const QString& title, const QString& text) override;
    bool getDouble(QWidget* parent, const QString& title, const QString& label,
                   double* value, double min, double max, int decimals) override;
    bool getText(QWidget* parent, const QString& title, const QString& label,
                 QString* value, bool password) override;
    QString getOpenFileName(QWidget* parent, const QString& caption,
                            const QString& dir, const QString& filter) override;
    QString getSaveFileName(QWidget* parent, const QString& caption,
                            const QString& dir, const QString& filter) override;

    // Answers to text inputs, oldest first; without one the input is cancelled.
    QList<QString> textAnswers;
    // Answers to file dialogs, oldest first; without one the dialog is cancelled.
    QList<QString> fileAnswers;

private:
    Prompt* previous_;
};
