#pragma once
// Start-up steps between the application object and the main window, and
// the last step before main returns.

class QApplication;

// Icon from "VODEZ.ico" in the working directory, pass-through rounding of
// high-DPI scale factors, UTF-8 as the codec for locale text, and the fonts
// the window names (see prepareFonts).
void prepareApplication(QApplication& app);

// On Linux: loads the "Marlett" font of the title-bar glyphs when the font
// database lacks it, and maps the Windows family names the window uses onto
// the CJK font installed here. Nothing elsewhere.
void prepareFonts();

// After the main window has gone, before main returns: lets the tasks of the
// global thread pool end and its threads go, then closes every database
// connection still open, the main thread's and any a pool thread left. A
// pool thread's exit can come after main has returned, while the libraries'
// exit handlers run; nothing of Qt Sql is left to it.
void finishApplication();
