// The geometry of printing a grid onto one page, worked out without any
// printer: scaling of screen sizes to printer pixels, the printed font size,
// and for every cell its rectangle, its text clip and where its text starts.
// The window side only draws what this plan says.
#pragma once

#include <cstdint>
#include <vector>

namespace belvanto {

// v points (1/72 inch) scaled by `faktor` to pixels of a device with `dpi`
// pixels per inch: v * dpi / 72 * faktor, halves to even. Results beyond any
// page are held at a bound far outside it instead of overflowing.
int skaliere(int v, int dpi, double faktor);

// The printed font size in points for a grid font of `punkte` points.
int druckSchriftgroesse(int punkte, double faktor);
// Point size of a font given in screen pixels, as the grid's font size is
// counted on a 96 dpi screen (11 pixels are 8 points).
int punktGroesseAusPixel(int pixel, int bildschirmDpi = 96);

struct Rechteck {
  int links = 0;
  int oben = 0;
  int rechts = 0;
  int unten = 0;
  bool operator==(const Rechteck&) const = default;
};

// What printing needs to know about a grid.
struct GridMasse {
  std::vector<int> spaltenBreiten;
  std::vector<int> zeilenHoehen;
  int fixeSpalten = 0;
  int fixeZeilen = 0;
  int linienBreite = 1;
};

// The printer as the page sees it, in device pixels. The origin is the
// corner of the printable area; `versatz` is the unprintable margin; `seite`
// is the area the device can put ink on, anything beyond it is cut off.
struct DruckFlaeche {
  int dpiX = 0;
  int dpiY = 0;
  int versatzX = 0;
  int versatzY = 0;
  Rechteck seite;
};

struct DruckZelle {
  int spalte = 0;
  int zeile = 0;
  Rechteck rahmen;    // filled with the cell colour and outlined with the pen
  Rechteck textClip;  // the text is cut off outside this
  int textX = 0;      // top left corner of the text
  int textY = 0;
  bool fix = false;  // fixed-cell colour instead of the grid's colour
};

struct GridDruckPlan {
  bool mitLinien = true;
  std::vector<DruckZelle> zellen;  // column by column, each top to bottom
  std::vector<Rechteck> streifen;  // white strip below each column
};

// The cells of the grid laid out for one page. `textHoehe` is the height of a
// line of text in the printing font. Cells wholly outside `flaeche.seite` are
// left out: the device would cut them off anyway, and a long grid must not
// cost a drawing call per invisible cell. A scale not above 0 plans nothing.
GridDruckPlan planeGridDruck(const GridMasse& grid, std::uint16_t links, std::uint16_t oben,
                             double faktor, const DruckFlaeche& flaeche, int textHoehe);

}  // namespace belvanto
