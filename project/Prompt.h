#pragma once
// Every message box and input dialog of the project layer goes through one
// Prompt, so that a headless run (tests, benchmarks) can answer them without
// a modal loop. The default shows ordinary Qt dialogs.

#include <QList>
#include <QString>

class QWidget;

class Prompt
{
public:
    enum class Kind { Information, Warning, Critical, Question, Number };

    virtual ~Prompt();

    // One-button boxes.
    virtual void information(QWidget* parent, const QString& title, const QString& text) = 0;
    virtual void warning(QWidget* parent, const QString& title, const QString& text) = 0;
    virtual void critical(QWidget* parent, const QString& title, const QString& text) = 0;
    // Yes/No box: true for Yes.
    virtual bool question(QWidget* parent, const QString& title, const QString& text) = 0;
    // Number input; false when the operator cancels (then *value is untouched).
    virtual bool getDouble(QWidget* parent, const QString& title, const QString& label,
                           double* value, double min, double max, int decimals) = 0;

    // The prompt in use; never null. set(nullptr) restores the dialogs.
    static Prompt* current();
    static void set(Prompt* prompt);
};

// Shows real Qt dialogs.
class WidgetPrompt : public Prompt
{
public:
    void information(QWidget* parent, const QString& title, const QString& text) override;
    void warning(QWidget* parent, const QString& title, const QString& text) override;
    void critical(QWidget* parent, const QString& title, const QString& text) override;
    bool question(QWidget* parent, const QString& title, const QString& text) override;
    bool getDouble(QWidget* parent, const QString& title, const QString& label,
                   double* value, double min, double max, int decimals) override;
};

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

private:
    Prompt* previous_;
};
