// The main window: shows the member number and working folder, offers the
// printer choice and the run's options, and starts the one run per program
// start. Everything the run does lives in Lauf; this class only forwards.
#pragma once

#include <QWidget>
#include <filesystem>
#include <memory>

#include "app/Lauf.h"
#include "basis/Konfiguration.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace belvanto {

class Bediener;
class Druckerwahl;
class THilfe;

class TForm1 : public QWidget {
  Q_OBJECT
 public:
  TForm1(std::filesystem::path programmOrdner, Druckerwahl& druckerwahl, Bediener& bediener,
         THilfe& hilfe, QWidget* parent = nullptr);
  ~TForm1() override;

  // Reads the configuration and checks the working folder; false when the
  // program must end (the message has been shown then).
  bool FormCreate();

  Konfiguration& konfiguration() { return konfiguration_; }
  bool angehakt(Haken haken) const;
  bool laufGestartet() const { return laufGestartet_; }
  QLineEdit* fortschrittsfeld() const { return LbLFortschritt; }

 public slots:
  void BtnStartClick();
  void BtnTestClick();
  void BtnHilfeClick();
  void RemADVCBClick();
  void CBDruckerauswahlChange(int index);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::filesystem::path programmOrdner_;
  Druckerwahl& druckerwahl_;
  Bediener& bediener_;
  THilfe& hilfe_;
  Konfiguration konfiguration_;
  std::unique_ptr<Lauf> lauf_;
  bool laufGestartet_ = false;
  bool laufAktiv_ = false;

  QLineEdit* LblMitgliedsNr;
  QComboBox* CBDruckerauswahl;
  QLineEdit* LbLFortschritt;
  QLineEdit* VerzeichnisLbL;
  QCheckBox* DownloadCB;
  QCheckBox* LadenMailCB;
  QCheckBox* RemADVCB;
  QCheckBox* RemAdvMailCB;
  QPushButton* BtnStart;
  QPushButton* BtnTest;
  QPushButton* BtnHilfe;
};

}  // namespace belvanto
