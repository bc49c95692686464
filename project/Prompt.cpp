#include "Prompt.h"

#include <QInputDialog>
#include <QMessageBox>

namespace {
Prompt* g_prompt = nullptr;

WidgetPrompt& widgetPrompt()
{
    static WidgetPrompt prompt;
    return prompt;
}
} // namespace

Prompt::~Prompt() = default;

Prompt* Prompt::current()
{
    return g_prompt ? g_prompt : &widgetPrompt();
}

void Prompt::set(Prompt* prompt)
{
    g_prompt = prompt;
}

void WidgetPrompt::information(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

void WidgetPrompt::warning(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}

void WidgetPrompt::critical(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox::critical(parent, title, text, QMessageBox::Ok);
}

bool WidgetPrompt::question(QWidget* parent, const QString& title, const QString& text)
{
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No)
        == QMessageBox::Yes;
}

bool WidgetPrompt::getDouble(QWidget* parent, const QString& title, const QString& label,
                             double* value, double min, double max, int decimals)
{
    bool ok = false;
    const double v = QInputDialog::getDouble(parent, title, label, *value, min, max, decimals, &ok);
    if (ok)
        *value = v;
    return ok;
}

RecordingPrompt::RecordingPrompt()
    : previous_(g_prompt)
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
