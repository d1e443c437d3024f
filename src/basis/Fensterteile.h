// The parts every window of the program builds alike: its font, a button of
// the usual size, a check box with its caption on the left, and the error box
// that ends a button's action. Windows only (belvanto_gui).
#pragma once

#include <QCheckBox>
#include <QFont>
#include <QPushButton>
#include <QString>

namespace belvanto {

// "MS Sans Serif" (a substitute where it is missing) at `pixel` pixels.
QFont fensterSchrift(int pixel = 11);

// A 75 x 25 button at (links, oben) carrying `name` as its object name.
QPushButton* knopf(QWidget* fenster, const char* name, const QString& text, int links, int oben);

// A check box whose caption stands to the left of the box.
QCheckBox* kastenTextLinks(QWidget* fenster, const char* name, const QString& text);

// The error box, "Belvanto" above a red sign. Error texts carry names and
// texts from outside (server, files, printer): shown as they are, never as
// markup.
void fehlerBox(QWidget* fenster, const char* text);

}  // namespace belvanto
