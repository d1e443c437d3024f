// Grid printing with QPrinter and QPainter, drawing the plan of GridLayout.
#include "protocol/GridDrucken.h"

#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <QTableWidget>
#include <QTemporaryFile>
#include <cmath>

#include "protocol/Druckerwahl.h"
#include "protocol/GridLayout.h"
#include "util/Dateijobs.h"
#include "util/Fehler.h"

namespace belvanto {

namespace {

const QString kJobTitel = QStringLiteral("Grid-Druck");

GridMasse masseVon(const QTableWidget& grid) {
  GridMasse masse;
  for (int c = 0; c < grid.columnCount(); ++c) masse.spaltenBreiten.push_back(grid.columnWidth(c));
  for (int r = 0; r < grid.rowCount(); ++r) masse.zeilenHoehen.push_back(grid.rowHeight(r));
  // A table widget has no fixed cells; its headers are not part of the grid.
  masse.linienBreite = grid.showGrid() ? 1 : 0;
  return masse;
}

int punktGroesse(const QFont& font) {
  if (font.pointSize() > 0) return font.pointSize();
  return punktGroesseAusPixel(font.pixelSize());
}

// The area a rectangle covers, right and bottom edge excluded.
QRect flaecheRect(const Rechteck& r) {
  return QRect(r.links, r.oben, r.rechts - r.links, r.unten - r.oben);
}

// An outlined rectangle that stays inside that area: Qt strokes one pixel
// beyond the rectangle's size.
QRect umrissRect(const Rechteck& r) {
  return QRect(r.links, r.oben, r.rechts - r.links - 1, r.unten - r.oben - 1);
}

// The printable area's corner is the painter's origin, as on the printers the
// offsets were measured for; the unprintable margin is what lies before it.
DruckFlaeche flaecheVon(QPrinter& printer) {
  QPageLayout layout = printer.pageLayout();
  printer.setPageMargins(layout.minimumMargins(), layout.units());
  layout = printer.pageLayout();
  const int aufloesung = printer.resolution();
  const QRect papier = layout.fullRectPixels(aufloesung);
  const QPoint versatz = layout.paintRectPixels(aufloesung).topLeft() - papier.topLeft();
  DruckFlaeche flaeche;
  flaeche.dpiX = printer.logicalDpiX();
  flaeche.dpiY = printer.logicalDpiY();
  flaeche.versatzX = versatz.x();
  flaeche.versatzY = versatz.y();
  flaeche.seite = {-versatz.x(), -versatz.y(), papier.width() - versatz.x(),
                   papier.height() - versatz.y()};
  return flaeche;
}

void zeichne(QPainter& painter, const QTableWidget& grid, const GridDruckPlan& plan) {
  const QColor gridFarbe = grid.palette().color(QPalette::Base);
  const QColor fixFarbe = grid.palette().color(QPalette::Button);
  painter.setPen(plan.mitLinien ? QPen(QColor(51, 51, 51), 1) : QPen(Qt::NoPen));
  painter.setBackgroundMode(Qt::TransparentMode);
  const QColor textFarbe = grid.palette().color(QPalette::Text);
  const int oberlaenge = painter.fontMetrics().ascent();
  for (const DruckZelle& zelle : plan.zellen) {
    painter.setBrush(zelle.fix ? fixFarbe : gridFarbe);
    painter.drawRect(plan.mitLinien ? umrissRect(zelle.rahmen) : flaecheRect(zelle.rahmen));
    const QTableWidgetItem* item = grid.item(zelle.zeile, zelle.spalte);
    const QRect clip = flaecheRect(zelle.textClip);
    if (item == nullptr || item->text().isEmpty() || !clip.isValid()) continue;
    painter.save();
    painter.setClipRect(clip);
    painter.setPen(textFarbe);
    painter.drawText(QPoint(zelle.textX, zelle.textY + oberlaenge), item->text());
    painter.restore();
  }
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  for (const Rechteck& streifen : plan.streifen) painter.drawRect(flaecheRect(streifen));
}

}  // namespace

void GridDrucken(const QTableWidget& grid, quint16 Links, quint16 Oben, double Faktor,
                 const Druckerwahl& druckerwahl) {
  if (!(Faktor > 0) || !std::isfinite(Faktor)) return;

  QPrinter printer(QPrinter::HighResolution);
  QTemporaryFile spool;
  druckerwahl.einrichten(printer, spool);
  const DruckFlaeche flaeche = flaecheVon(printer);

  printer.setDocName(kJobTitel);
  QPainter painter;
  if (!painter.begin(&printer)) {
    if (!druckerwahl.pdfDatei().isEmpty()) {
      dateiNichtSchreibbar(QFile::encodeName(druckerwahl.pdfDatei()).toStdString());
    }
    throw Fehler("Der Druckauftrag \"Grid-Druck\" kann nicht gestartet werden.");
  }

  QFont font = grid.font();
  font.setPointSize(druckSchriftgroesse(punktGroesse(font), Faktor));
  painter.setFont(font);
  const int textHoehe = painter.fontMetrics().height();

  zeichne(painter, grid, planeGridDruck(masseVon(grid), Links, Oben, Faktor, flaeche, textHoehe));
  if (!painter.end()) {
    throw Fehler("Der Druckauftrag \"Grid-Druck\" kann nicht abgeschlossen werden.");
  }
  druckerwahl.abschicken(printer, spool, kJobTitel);
}

}  // namespace belvanto
