#pragma once
// Every message box, input dialog and file dialog of the program goes through
// one Prompt, so that a headless run (tests, benchmarks) answers them without
// a modal loop. The default shows ordinary Qt dialogs.

#include <QList>
#include <QString>

class QWidget;

class Prompt
{
public:
    enum class Kind { Information, Warning, Critical, Question, Number, Text, OpenFile, SaveFile };

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
    // Text input, hidden while typed when password is set; false when the
    // operator cancels (then *value is untouched).
    virtual bool getText(QWidget* parent, const QString& title, const QString& label,
                         QString* value, bool password) = 0;
    // File dialogs: the chosen path, or an empty string when cancelled.
    virtual QString getOpenFileName(QWidget* parent, const QString& caption,
                                    const QString& dir, const QString& filter) = 0;
    virtual QString getSaveFileName(QWidget* parent, const QString& caption,
                                    const QString& dir, const QString& filter) = 0;

    // The prompt in use; never null. set(nullptr) restores the fallback.
    static Prompt* current();
    static void set(Prompt* prompt);
    // The prompt set with set(), or null when the fallback is in use.
    static Prompt* installed();
    // What current() gives while none is set: the real dialogs unless a
    // headless process (a test) has put a non-modal prompt in their place.
    static void setFallback(Prompt* prompt);
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
    bool getText(QWidget* parent, const QString& title, const QString& label,
                 QString* value, bool password) override;
    QString getOpenFileName(QWidget* parent, const QString& caption,
                            const QString& dir, const QString& filter) override;
    QString getSaveFileName(QWidget* parent, const QString& caption,
                            const QString& dir, const QString& filter) override;
};
