// Geometry of grid printing; see GridLayout.h.
#include "protocol/GridLayout.h"

#include <cmath>
#include <cstdint>

#include "util/Zahlen.h"

namespace belvanto {

namespace {

// Far beyond any page at any resolution, yet sums of a few of them stay
// inside int.
constexpr double kGrenze = 1 << 28;

bool ueberlappt(const Rechteck& a, const Rechteck& b) {
  return a.links < b.rechts && a.rechts > b.links && a.oben < b.unten && a.unten > b.oben;
}

}  // namespace

int skaliere(int v, int dpi, double faktor) {
  double wert =
      roundHalfEven(static_cast<double>(static_cast<std::int64_t>(v) * dpi) / 72.0 * faktor);
  if (std::isnan(wert)) return 0;
  if (wert > kGrenze) return static_cast<int>(kGrenze);
  if (wert < -kGrenze) return static_cast<int>(-kGrenze);
  return static_cast<int>(wert);
}

int druckSchriftgroesse(int punkte, double faktor) {
  double wert = roundHalfEven(punkte / 0.72 * faktor);
  if (!(wert >= 1)) return 1;  // a font needs a size; a scale this small prints dust anyway
  return wert > 1000 ? 1000 : static_cast<int>(wert);
}

int punktGroesseAusPixel(int pixel, int bildschirmDpi) {
  if (bildschirmDpi <= 0) return pixel;
  // Rounded like the screen font sizes the grid's font was chosen with.
  return static_cast<int>(std::lround(pixel * 72.0 / bildschirmDpi));
}

GridDruckPlan planeGridDruck(const GridMasse& grid, std::uint16_t links, std::uint16_t oben,
                             double faktor, const DruckFlaeche& flaeche, int textHoehe) {
  GridDruckPlan plan;
  if (!(faktor > 0) || !std::isfinite(faktor)) return plan;
  plan.mitLinien = grid.linienBreite >= 1;

  const int linksPx = skaliere(links, flaeche.dpiX, faktor);
  const int obenPx = skaliere(oben, flaeche.dpiY, faktor);
  const int pad = skaliere(3, flaeche.dpiX, faktor);
  const Rechteck& seite = flaeche.seite;

  int x = flaeche.versatzX + linksPx + 1;
  for (int c = 0; c < static_cast<int>(grid.spaltenBreiten.size()); ++c) {
    if (x >= seite.rechts) break;  // every further column lies right of the page
    int y = flaeche.versatzY + obenPx + 1;
    const int rechts = x + skaliere(grid.spaltenBreiten[c] + 1, flaeche.dpiX, faktor);
    for (int r = 0; r < static_cast<int>(grid.zeilenHoehen.size()); ++r) {
      if (y >= seite.unten) break;  // the rest of the column is below the page
      const int unten = y + skaliere(grid.zeilenHoehen[r] + 1, flaeche.dpiY, faktor);
      DruckZelle zelle;
      zelle.spalte = c;
      zelle.zeile = r;
      zelle.rahmen = {x, y, rechts, unten};
      if (ueberlappt(zelle.rahmen, seite)) {
        zelle.textClip = {x + pad, y + 1, rechts - pad, unten - 1};
        zelle.textX = x + pad;
        zelle.textY = y + (unten - y - textHoehe) / 2;
        zelle.fix = c < grid.fixeSpalten || r < grid.fixeZeilen;
        plan.zellen.push_back(zelle);
      }
      y = unten;
    }
    Rechteck streifen{x, y + 1, rechts, y + textHoehe};
    if (ueberlappt(streifen, seite)) plan.streifen.push_back(streifen);
    x = rechts;
  }
  return plan;
}

}  // namespace belvanto
