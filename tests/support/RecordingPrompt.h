#pragma once
// Test side of the Prompt seam. A test says beforehand which boxes and
// dialogs it expects and how each is answered; anything else fails the
// running test and is answered negatively, so no test can wait on a modal
// window.
//
// Every test executable (vodez_add_test) runs with a process-wide prompt
// that expects nothing: a box that reaches it fails the test. A test that
// expects boxes constructs a RecordingPrompt, which takes over while it lives:
//
//     RecordingPrompt prompt;
//     prompt.expect(Prompt::Kind::Warning).saying(QStringLiteral("工程文件损坏"));
//     prompt.expectNumber(13.0).titled(QStringLiteral("修改点号"));
//     tree.openProject(file);                        // meets the boxes
//     QCOMPARE(prompt.count(Prompt::Kind::Warning), 1);
//
// Boxes must come in the order they were expected. Expectations still
// pending when the prompt is destroyed fail the running test, so a prompt
// held across test functions is destroyed in cleanup().

#include "Prompt.h"

#include <QList>
#include <QString>

#include <deque>
#include <optional>

class RecordingPrompt : public Prompt
{
public:
    // One box or dialog as the program showed it.
    struct Shown
    {
        Kind kind;
        QString title;
        // The message of a box, the label of an input, the filter of a file dialog.
        QString text;
        // Number input only: what the dialog offered.
        double start = 0.0;
        double min = 0.0;
        double max = 0.0;
        int decimals = 0;
        // Text input only: typed hidden.
        bool password = false;
        // File dialogs only: the folder the dialog was opened in.
        QString folder;
    };

    // One box the test waits for, and its answer.
    class Expectation
    {
    public:
        // The title must be exactly this.
        Expectation& titled(const QString& title);
        // The text (message, label or filter) must be exactly this.
        Expectation& saying(const QString& text);
        // The text must hold this.
        Expectation& containing(const QString& part);
        // The same box comes this many times in a row (default once).
        Expectation& times(int count);

    private:
        friend class RecordingPrompt;
        enum class Reply { Negative, Positive, Unchanged };
        bool matches(const Shown& shown) const;
        QString describe() const;

        Kind kind_ = Kind::Information;
        std::optional<QString> title_;
        std::optional<QString> text_;
        std::optional<QString> part_;
        int remaining_ = 1;
        Reply reply_ = Reply::Negative;
        double number_ = 0.0;
        QString string_;
    };

    // Installs itself until destroyed; the prompt it replaced comes back then.
    RecordingPrompt();
    // Fails the running test when an expectation was not met.
    ~RecordingPrompt() override;
    RecordingPrompt(const RecordingPrompt&) = delete;
    RecordingPrompt& operator=(const RecordingPrompt&) = delete;

    // A box of this kind, answered negatively: No, cancelled, no file.
    Expectation& expect(Kind kind);
    // A question answered Yes (true) or No.
    Expectation& expectQuestion(bool yes);
    // A number input accepted with this value.
    Expectation& expectNumber(double value);
    // A number input accepted without an edit: the offered value comes back.
    Expectation& expectNumberUnchanged();
    // A text input accepted with this text.
    Expectation& expectText(const QString& value);
    // File dialogs answered with this path.
    Expectation& expectOpenFile(const QString& path);
    Expectation& expectSaveFile(const QString& path);

    // Expectations not met yet; QTRY_COMPARE(prompt.pending(), 0) waits for
    // boxes a background step shows.
    int pending() const;

    // Everything shown, expected or not, oldest first.
    QList<Shown> shown;
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

    // Puts a prompt that expects nothing in place of the real dialogs for the
    // rest of the process. Every test executable calls it before main().
    static void guardProcess();

    // The readable name of a kind, as failure messages give it.
    static QString kindName(Kind kind);

private:
    struct Unexpected {};
    explicit RecordingPrompt(Unexpected);

    Expectation& add(Kind kind, Expectation::Reply reply);
    // An expectation answered with a text or a path.
    Expectation& addString(Kind kind, const QString& answer);
    // Records the box and takes the expectation it meets; none (after
    // failing the running test) when it meets none.
    std::optional<Expectation> take(const Shown& box);

    std::deque<Expectation> expected_;
    bool installed_;
    Prompt* previous_;
};
