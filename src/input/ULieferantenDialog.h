// The supplier dialog: asks the person for the own number, DATEV name and
// maximum invoice amount of a cooperative supplier the mapping lacks.
#pragma once

#include <QDialog>
#include <string>

#include "basis/Bediener.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace belvanto {

class TLieferanten : public QDialog {
  Q_OBJECT

 public:
  explicit TLieferanten(QWidget* parent = nullptr);

  // Shows the dialog modally for `morvenauNummer` and returns what the three
  // fields hold when it closes, however it was closed. The maximum amount
  // keeps what was typed the time before.
  LieferantEingabe erfragen(const std::string& morvenauNummer);

 protected:
  bool eventFilter(QObject* objekt, QEvent* ereignis) override;
  void keyPressEvent(QKeyEvent* ereignis) override;

 private:
  QLineEdit* beschriftetesFeld(const char* name, const QString& beschriftung, int oben);
  bool LEKerbholtNummerKeyPress(QKeyEvent* taste);
  bool LEKerbholtNameKeyPress(QKeyEvent* taste);
  void BtnUebernameClick();

  QLabel* LbErklaerung;
  QLineEdit* LEMorvenauNummer;
  QLineEdit* LEKerbholtNummer;
  QLineEdit* LEKerbholtName;
  QLineEdit* LEKerbholtMaxBetrag;
  QPushButton* BtnUebername;
};

}  // namespace belvanto
