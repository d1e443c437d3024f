// German dialogs and metric-compatible fonts; see DeutscheOberflaeche.h.
#include "app/DeutscheOberflaeche.h"

#include <QCoreApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace belvanto {

bool deutscheOberflaeche(QCoreApplication& app) {
  // Without a mapping these fall back to DejaVu Sans, about a tenth wider
  // than the Windows fonts, and texts laid out for Windows no longer fit
  // their fields and printed columns. Liberation Sans has Arial's widths.
  for (const char* windowsSchrift : {"MS Sans Serif", "Tahoma"}) {
    QFont::insertSubstitutions(QString::fromLatin1(windowsSchrift),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
  }

  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  auto* uebersetzung = new QTranslator(&app);
  if (!uebersetzung->load(QStringLiteral("qtbase_de"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete uebersetzung;
    return false;
  }
  QCoreApplication::installTranslator(uebersetzung);
  return true;
}

}  // namespace belvanto
