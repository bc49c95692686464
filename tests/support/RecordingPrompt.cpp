#include "RecordingPrompt.h"

#include <QTest>

namespace {

// A failure of the test function that is running; a box outside any test
// function has no test to fail, so the process itself fails.
void failRunningTest(const QString& message)
{
    const QByteArray text = message.toUtf8();
    if (QTest::currentTestFunction())
        QTest::qFail(text.constData(), __FILE__, __LINE__);
    else
        qFatal("%s", text.constData());
}

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString describeShown(const RecordingPrompt::Shown& box)
{
    return QStringLiteral("%1 titled %2 with text %3")
        .arg(RecordingPrompt::kindName(box.kind), quoted(box.title), quoted(box.text));
}

} // namespace

RecordingPrompt::Expectation& RecordingPrompt::Expectation::titled(const QString& title)
{
    title_ = title;
    return *this;
}

RecordingPrompt::Expectation& RecordingPrompt::Expectation::saying(const QString& text)
{
    text_ = text;
    return *this;
}

RecordingPrompt::Expectation& RecordingPrompt::Expectation::containing(const QString& part)
{
    part_ = part;
    return *this;
}

RecordingPrompt::Expectation& RecordingPrompt::Expectation::times(int count)
{
    Q_ASSERT(count > 0);
    remaining_ = count;
    return *this;
}

bool RecordingPrompt::Expectation::matches(const Shown& shown) const
{
    return shown.kind == kind_
        && (!title_ || shown.title == *title_)
        && (!text_ || shown.text == *text_)
        && (!part_ || shown.text.contains(*part_));
}

QString RecordingPrompt::Expectation::describe() const
{
    QString d = kindName(kind_);
    if (title_)
        d += QStringLiteral(" titled ") + quoted(*title_);
    if (text_)
        d += QStringLiteral(" with text ") + quoted(*text_);
    if (part_)
        d += QStringLiteral(" with text holding ") + quoted(*part_);
    if (remaining_ > 1)
        d += QStringLiteral(" (%1 more times)").arg(remaining_);
    return d;
}

RecordingPrompt::RecordingPrompt()
    : installed_(true)
    , previous_(Prompt::installed())
{
    Prompt::set(this);
}

RecordingPrompt::RecordingPrompt(Unexpected)
    : installed_(false)
    , previous_(nullptr)
{
}

RecordingPrompt::~RecordingPrompt()
{
    if (installed_)
        Prompt::set(previous_);
    // A test that already failed has said what went wrong; the boxes it did
    // not reach are a consequence.
    if (!expected_.empty() && !QTest::currentTestFailed())
        failRunningTest(QStringLiteral("expected %1, never shown").arg(expected_.front().describe()));
}

void RecordingPrompt::guardProcess()
{
    static RecordingPrompt guard{Unexpected{}};
    Prompt::setFallback(&guard);
}

QString RecordingPrompt::kindName(Kind kind)
{
    switch (kind) {
    case Kind::Information: return QStringLiteral("information box");
    case Kind::Warning: return QStringLiteral("warning box");
    case Kind::Critical: return QStringLiteral("critical box");
    case Kind::Question: return QStringLiteral("question box");
    case Kind::Number: return QStringLiteral("number input");
    case Kind::Text: return QStringLiteral("text input");
    case Kind::OpenFile: return QStringLiteral("open-file dialog");
    case Kind::SaveFile: return QStringLiteral("save-file dialog");
    }
    return QStringLiteral("dialog");
}

RecordingPrompt::Expectation& RecordingPrompt::add(Kind kind, Expectation::Reply reply)
{
    Q_ASSERT_X(installed_, "RecordingPrompt", "the process-wide prompt expects nothing");
    expected_.emplace_back();
    expected_.back().kind_ = kind;
    expected_.back().reply_ = reply;
    return expected_.back();
}

RecordingPrompt::Expectation& RecordingPrompt::addString(Kind kind, const QString& answer)
{
    Expectation& e = add(kind, Expectation::Reply::Positive);
    e.string_ = answer;
    return e;
}

RecordingPrompt::Expectation& RecordingPrompt::expect(Kind kind)
{
    return add(kind, Expectation::Reply::Negative);
}

RecordingPrompt::Expectation& RecordingPrompt::expectQuestion(bool yes)
{
    return add(Kind::Question, yes ? Expectation::Reply::Positive : Expectation::Reply::Negative);
}

RecordingPrompt::Expectation& RecordingPrompt::expectNumber(double value)
{
    Expectation& e = add(Kind::Number, Expectation::Reply::Positive);
    e.number_ = value;
    return e;
}

RecordingPrompt::Expectation& RecordingPrompt::expectNumberUnchanged()
{
    return add(Kind::Number, Expectation::Reply::Unchanged);
}

RecordingPrompt::Expectation& RecordingPrompt::expectText(const QString& value)
{
    return addString(Kind::Text, value);
}

RecordingPrompt::Expectation& RecordingPrompt::expectOpenFile(const QString& path)
{
    return addString(Kind::OpenFile, path);
}

RecordingPrompt::Expectation& RecordingPrompt::expectSaveFile(const QString& path)
{
    return addString(Kind::SaveFile, path);
}

int RecordingPrompt::pending() const
{
    int n = 0;
    for (const Expectation& e : expected_)
        n += e.remaining_;
    return n;
}

int RecordingPrompt::count(Kind kind) const
{
    int n = 0;
    for (const Shown& s : shown)
        n += s.kind == kind ? 1 : 0;
    return n;
}

std::optional<RecordingPrompt::Expectation> RecordingPrompt::take(const Shown& box)
{
    shown.append(box);
    if (expected_.empty() || !expected_.front().matches(box)) {
        QString message = QStringLiteral("unexpected ") + describeShown(box);
        if (!expected_.empty())
            message += QStringLiteral("; expected ") + expected_.front().describe();
        failRunningTest(message);
        return std::nullopt;
    }
    const Expectation met = expected_.front();
    if (--expected_.front().remaining_ == 0)
        expected_.pop_front();
    return met;
}

void RecordingPrompt::information(QWidget*, const QString& title, const QString& text)
{
    take({Kind::Information, title, text});
}

void RecordingPrompt::warning(QWidget*, const QString& title, const QString& text)
{
    take({Kind::Warning, title, text});
}

void RecordingPrompt::critical(QWidget*, const QString& title, const QString& text)
{
    take({Kind::Critical, title, text});
}

bool RecordingPrompt::question(QWidget*, const QString& title, const QString& text)
{
    const auto met = take({Kind::Question, title, text});
    return met && met->reply_ == Expectation::Reply::Positive;
}

bool RecordingPrompt::getDouble(QWidget*, const QString& title, const QString& label,
                                double* value, double min, double max, int decimals)
{
    const auto met = take({Kind::Number, title, label, *value, min, max, decimals});
    if (!met || met->reply_ == Expectation::Reply::Negative)
        return false;
    if (met->reply_ == Expectation::Reply::Positive)
        *value = met->number_;
    return true;
}

bool RecordingPrompt::getText(QWidget*, const QString& title, const QString& label,
                              QString* value, bool password)
{
    Shown box{Kind::Text, title, label};
    box.password = password;
    const auto met = take(box);
    if (!met || met->reply_ == Expectation::Reply::Negative)
        return false;
    if (met->reply_ == Expectation::Reply::Positive)
        *value = met->string_;
    return true;
}

QString RecordingPrompt::getOpenFileName(QWidget*, const QString& caption, const QString& dir,
                                         const QString& filter)
{
    Shown box{Kind::OpenFile, caption, filter};
    box.folder = dir;
    const auto met = take(box);
    return met && met->reply_ == Expectation::Reply::Positive ? met->string_ : QString();
}

QString RecordingPrompt::getSaveFileName(QWidget*, const QString& caption, const QString& dir,
                                         const QString& filter)
{
    Shown box{Kind::SaveFile, caption, filter};
    box.folder = dir;
    const auto met = take(box);
    return met && met->reply_ == Expectation::Reply::Positive ? met->string_ : QString();
}
