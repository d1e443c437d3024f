// The program speaks German and looks as on Windows, whatever the machine's
// locale and fonts: Qt's own dialogs and buttons in German, and the Windows
// font names of the windows mapped to fonts with the same widths.
#pragma once

class QCoreApplication;

namespace belvanto {

// Call once, right after the application object is made and before any
// window exists: fonts already looked up keep their old face. Returns false
// when Qt's German translations are not installed; the program then runs
// with Qt's English texts.
bool deutscheOberflaeche(QCoreApplication& app);

}  // namespace belvanto
