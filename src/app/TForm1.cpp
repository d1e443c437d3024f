#include "app/TForm1.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "basis/Fensterteile.h"
#include "app/THilfe.h"
#include "basis/Bediener.h"
#include "protocol/Druckerwahl.h"

namespace belvanto {

namespace {

constexpr int kEditHoehe = 21;

// An edit with its label to the left, 10 pixels apart.
QLineEdit* beschriftetesFeld(QWidget* fenster, const char* name, const QString& beschriftung,
                             int links, int oben, int breite) {
  auto* feld = new QLineEdit(fenster);
  feld->setObjectName(name);
  feld->setGeometry(links, oben, breite, kEditHoehe);
  auto* label = new QLabel(beschriftung, fenster);
  label->setObjectName(QString::fromLatin1(name) + "Label");
  label->setBuddy(feld);
  label->adjustSize();
  label->move(links - 10 - label->width(), oben + (kEditHoehe - label->height()) / 2);
  return feld;
}

// A check box whose text stands to the left of the box.
QCheckBox* ankreuzfeld(QWidget* fenster, const char* name, const QString& text, int links, int oben,
                       int breite) {
  auto* box = kastenTextLinks(fenster, name, text);
  // The box keeps its place; a wider substitute font lets the text grow leftwards.
  const int noetig = std::max(breite, box->sizeHint().width());
  box->setGeometry(links + breite - noetig, oben, noetig, 17);
  box->setChecked(true);
  return box;
}

}  // namespace

TForm1::TForm1(std::filesystem::path programmOrdner, Druckerwahl& druckerwahl, Bediener& bediener,
               THilfe& hilfe, QWidget* parent)
    : QWidget(parent),
      programmOrdner_(std::move(programmOrdner)),
      druckerwahl_(druckerwahl),
      bediener_(bediener),
      hilfe_(hilfe) {
  setObjectName("Form1");
  setWindowTitle(QStringLiteral("Belvanto 8.1 SFtp"));
  setFixedSize(468, 277);
  move(366, 492);
  setFont(fensterSchrift());

  LblMitgliedsNr = beschriftetesFeld(this, "LblMitgliedsNr", "Mitglieds-Nr.", 94, 24, 107);
  LblMitgliedsNr->setFocusPolicy(Qt::ClickFocus);
  CBDruckerauswahl = new QComboBox(this);
  CBDruckerauswahl->setObjectName("CBDruckerauswahl");
  CBDruckerauswahl->setGeometry(288, 24, 145, kEditHoehe);
  LbLFortschritt = beschriftetesFeld(this, "LbLFortschritt", "Fortschritt", 96, 93, 337);
  LbLFortschritt->setFocusPolicy(Qt::ClickFocus);
  VerzeichnisLbL = beschriftetesFeld(this, "VerzeichnisLbL", "Verzeichnis", 96, 120, 337);
  VerzeichnisLbL->setReadOnly(true);
  VerzeichnisLbL->setFocusPolicy(Qt::ClickFocus);
  DownloadCB = ankreuzfeld(this, "DownloadCB", "mit Download", 96, 155, 88);
  LadenMailCB = ankreuzfeld(this, "LadenMailCB", "Belege mailen", 96, 178, 88);
  RemADVCB = ankreuzfeld(this, "RemADVCB", "mit RemADV", 352, 155, 81);
  RemAdvMailCB = ankreuzfeld(this, "RemAdvMailCB", "RemADV mailen", 336, 178, 97);
  BtnStart = knopf(this, "BtnStart", "Start", 94, 224);
  BtnTest = knopf(this, "BtnTest", "Test", 277, 224);
  BtnHilfe = knopf(this, "BtnHilfe", "Hilfe", 358, 224);

  QWidget* reihenfolge[] = {CBDruckerauswahl, DownloadCB, LadenMailCB, RemADVCB,
                            RemAdvMailCB,     BtnStart,   BtnTest,     BtnHilfe};
  for (std::size_t i = 1; i < std::size(reihenfolge); ++i)
    setTabOrder(reihenfolge[i - 1], reihenfolge[i]);

  connect(BtnStart, &QPushButton::clicked, this, &TForm1::BtnStartClick);
  connect(BtnTest, &QPushButton::clicked, this, &TForm1::BtnTestClick);
  connect(BtnHilfe, &QPushButton::clicked, this, &TForm1::BtnHilfeClick);
  connect(RemADVCB, &QCheckBox::clicked, this, &TForm1::RemADVCBClick);
}

TForm1::~TForm1() = default;

bool TForm1::FormCreate() {
  laufGestartet_ = false;
  konfiguration_ = konfigurationLesen(programmOrdner_);
  if (konfiguration_.EmpfaengerRemADV.empty()) RemAdvMailCB->setChecked(false);
  if (konfiguration_.EmpfaengerRNKopie.empty()) LadenMailCB->setChecked(false);

  LblMitgliedsNr->setText(QString::fromStdString(konfiguration_.Mitgliedsnummer));
  VerzeichnisLbL->setText(QString::fromStdString(konfiguration_.ArbeitsVerzeichnis) + "/");
  if (auto meldung = arbeitsVerzeichnisPruefen(konfiguration_)) {
    bediener_.meldung(*meldung);
    return false;
  }
  if (auto warnung = iniLesbarFuerAndere(konfiguration_)) bediener_.meldung(*warnung);

  {
    const QSignalBlocker still(CBDruckerauswahl);
    CBDruckerauswahl->addItems(druckerwahl_.namen());
    CBDruckerauswahl->setCurrentIndex(druckerwahl_.aktuellerIndex());
  }
  connect(CBDruckerauswahl, &QComboBox::currentIndexChanged, this, &TForm1::CBDruckerauswahlChange);

  lauf_ = std::make_unique<Lauf>(konfiguration_, bediener_,
                                 [this](Haken haken) { return angehakt(haken); });
  return true;
}

bool TForm1::angehakt(Haken haken) const {
  switch (haken) {
    case Haken::mitDownload:
      return DownloadCB->isChecked();
    case Haken::belegeMailen:
      return LadenMailCB->isChecked();
    case Haken::mitRemADV:
      return RemADVCB->isChecked();
    case Haken::remAdvMailen:
      return RemAdvMailCB->isChecked();
  }
  return false;
}

void TForm1::BtnStartClick() {
  // A press while the run lets window messages through must neither end the
  // program under the run's feet nor start anything: it is ignored.
  if (laufAktiv_) return;
  if (laufGestartet_) {
    QCoreApplication::quit();
    return;
  }
  laufGestartet_ = true;
  laufAktiv_ = true;
  try {
    if (lauf_) lauf_->ausfuehren();
    BtnStart->setText(QStringLiteral("Ende"));
    BtnStart->repaint();
    BtnStart->setFocus();
  } catch (const std::exception& fehler) {
    fehlerBox(this, fehler.what());
  }
  laufAktiv_ = false;
}

void TForm1::BtnTestClick() {
  // During a run the check would cross the run's own connection to the
  // server, and during a check (which lets window messages through while it
  // waits) a second one would replace the first one's session.
  if (laufAktiv_ || !lauf_) return;
  laufAktiv_ = true;
  try {
    lauf_->TestDaten(true);
  } catch (const std::exception& fehler) {
    fehlerBox(this, fehler.what());
  }
  laufAktiv_ = false;
}

void TForm1::BtnHilfeClick() {
  hilfe_.show();
  hilfe_.raise();
}

void TForm1::RemADVCBClick() {
  if (!RemADVCB->isChecked()) RemAdvMailCB->setChecked(false);
}

void TForm1::CBDruckerauswahlChange(int index) {
  if (index >= 0) druckerwahl_.waehle(index);
}

void TForm1::closeEvent(QCloseEvent* event) {
  // Closing in the middle of a run would leave half-written archives behind,
  // in the middle of a check a session without its window.
  if (laufAktiv_) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
  QCoreApplication::quit();
}

}  // namespace belvanto
