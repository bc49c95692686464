#include "Prompt.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace {
Prompt* g_prompt = nullptr;
Prompt* g_fallback = nullptr;

WidgetPrompt& widgetPrompt()
{
    static WidgetPrompt prompt;
    return prompt;
}
} // namespace

Prompt::~Prompt() = default;

Prompt* Prompt::current()
{
    if (g_prompt)
        return g_prompt;
    return g_fallback ? g_fallback : &widgetPrompt();
}

void Prompt::set(Prompt* prompt)
{
    g_prompt = prompt;
}

Prompt* Prompt::installed()
{
    return g_prompt;
}

void Prompt::setFallback(Prompt* prompt)
{
    g_fallback = prompt;
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

bool WidgetPrompt::getText(QWidget* parent, const QString& title, const QString& label,
                           QString* value, bool password)
{
    bool ok = false;
    const QString v = QInputDialog::getText(parent, title, label,
                                            password ? QLineEdit::Password : QLineEdit::Normal,
                                            *value, &ok);
    if (ok)
        *value = v;
    return ok;
}

QString WidgetPrompt::getOpenFileName(QWidget* parent, const QString& caption,
                                      const QString& dir, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QString WidgetPrompt::getSaveFileName(QWidget* parent, const QString& caption,
                                      const QString& dir, const QString& filter)
{
    return QFileDialog::getSaveFileName(parent, caption, dir, filter);
}
