// The invoice number dialog: shows an invoice number that is too long and
// the allowed length, and returns whatever the person leaves in the field.
// The caller asks again as long as the number is still too long.
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace belvanto {

class TRechnungsnummer : public QDialog {
  Q_OBJECT

 public:
  explicit TRechnungsnummer(QWidget* parent = nullptr);

  // Modal; closes on Enter in the field, "Übername" or the close button and
  // returns the field's text in every case, whatever its length.
  std::string RechnungsNummerAendern(const std::string& RechnungsNummer, int AnzahlRNStellen);

  // The label text as the program builds it: two lines joined by one CR.
  static std::string Hinweistext(int AnzahlRNStellen);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QLabel* HinweisLbL;
  QLineEdit* RechnungsNummerLEd;
  QPushButton* UebernameBtn;
};

}  // namespace belvanto
