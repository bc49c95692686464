#pragma once
// The one font of every plot text: titles, axis titles, water marks and tick
// labels. The main window sets it from the screen scale at start-up; plots
// read it when they make a text, so a later change shows in later texts.

#include <QFont>

extern QFont g_axisFont;
