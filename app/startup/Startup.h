#pragma once
// Start-up steps between the application object and the main window.

class QApplication;

// Icon from "VODEZ.ico" in the working directory, pass-through rounding of
// high-DPI scale factors, UTF-8 as the codec for locale text, and the fonts
// the window names (see prepareFonts).
void prepareApplication(QApplication& app);

// On Linux: loads the "Marlett" font of the title-bar glyphs when the font
// database lacks it, and maps the Windows family names the window uses onto
// the CJK font installed here. Nothing elsewhere.
void prepareFonts();
