#pragma once
// Benchmarks drive the program's classes without anyone at the screen: every
// box or dialog they meet is written to stderr and answered negatively (No,
// cancelled, no file) instead of waiting in a modal window. Needs the prompt
// library.

#include "Prompt.h"

#include <cstdio>

class HeadlessPrompt : public Prompt
{
public:
    HeadlessPrompt() { Prompt::set(this); }
    ~HeadlessPrompt() override { Prompt::set(nullptr); }
    HeadlessPrompt(const HeadlessPrompt&) = delete;
    HeadlessPrompt& operator=(const HeadlessPrompt&) = delete;

    void information(QWidget*, const QString& title, const QString& text) override { say(title, text); }
    void warning(QWidget*, const QString& title, const QString& text) override { say(title, text); }
    void critical(QWidget*, const QString& title, const QString& text) override { say(title, text); }
    bool question(QWidget*, const QString& title, const QString& text) override
    {
        say(title, text);
        return false;
    }
    bool getDouble(QWidget*, const QString& title, const QString& label, double*, double, double, int) override
    {
        say(title, label);
        return false;
    }
    bool getText(QWidget*, const QString& title, const QString& label, QString*, bool) override
    {
        say(title, label);
        return false;
    }
    QString getOpenFileName(QWidget*, const QString& caption, const QString&, const QString&) override
    {
        say(caption, QString());
        return QString();
    }
    QString getSaveFileName(QWidget*, const QString& caption, const QString&, const QString&) override
    {
        say(caption, QString());
        return QString();
    }

private:
    static void say(const QString& title, const QString& text)
    {
        std::fprintf(stderr, "dialog [%s] %s\n", qPrintable(title), qPrintable(text));
    }
};
