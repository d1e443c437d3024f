// Prints any grid onto one page of the program's current printer: each cell
// a framed rectangle with its text, sizes taken as points and scaled.
#pragma once

#include <QtGlobal>

class QTableWidget;

namespace belvanto {

class Druckerwahl;

// `Links` and `Oben` are offsets in points, `Faktor` the scale; a scale not
// above 0 prints nothing. Throws Fehler when there is no printer, the job
// cannot start or the print system refuses it. Rows and columns beyond the
// page are cut off.
void GridDrucken(const QTableWidget& grid, quint16 Links, quint16 Oben, double Faktor,
                 const Druckerwahl& druckerwahl);

}  // namespace belvanto
