#include "RecordingPrompt.h"

RecordingPrompt::RecordingPrompt()
    : previous_(Prompt::installed())
{
    Prompt::set(this);
}

RecordingPrompt::~RecordingPrompt()
{
    Prompt::set(previous_);
}

int RecordingPrompt::count(Kind kind) const
{
    int n = 0;
    for (const Shown& s : shown)
        n += s.kind == kind ? 1 : 0;
    return n;
}

void RecordingPrompt::information(QWidget*, const QString& title, const QString& text)
{
    shown.append({Kind::Information, title, text});
}

void RecordingPrompt::warning(QWidget*, const QString& title, const QString& text)
{
    shown.append({Kind::Warning, title, text});
}

void RecordingPrompt::critical(QWidget*, const QString& title, const QString& text)
{
    shown.append({Kind::Critical, title, text});
}

bool RecordingPrompt::question(QWidget*, const QString& title, const QString& text)
{
    shown.append({Kind::Question, title, text});
    return questionAnswers.isEmpty() ? false : questionAnswers.takeFirst();
}

bool RecordingPrompt::getDouble(QWidget*, const QString& title, const QString& label,
                                double* value, double min, double max, int decimals)
{
    shown.append({Kind::Number, title, label, *value, min, max, decimals});
    if (acceptUnchanged > 0) {
        --acceptUnchanged;
        return true;
    }
    if (numberAnswers.isEmpty())
        return false;
    *value = numberAnswers.takeFirst();
    return true;
}

bool RecordingPrompt::getText(QWidget*, const QString& title, const QString& label,
                              QString* value, bool)
{
    shown.append({Kind::Text, title, label});
    if (textAnswers.isEmpty())
        return false;
    *value = textAnswers.takeFirst();
    return true;
}

QString RecordingPrompt::getOpenFileName(QWidget*, const QString& caption, const QString&,
                                         const QString& filter)
{
    shown.append({Kind::OpenFile, caption, filter});
    return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
}

QString RecordingPrompt::getSaveFileName(QWidget*, const QString& caption, const QString&,
                                         const QString& filter)
{
    shown.append({Kind::SaveFile, caption, filter});
    return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
}
