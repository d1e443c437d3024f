// The data check window: shows which kinds of file the checks of this program
// run have found on the server, and the step the check is at. It lives as long
// as the program, hidden until a check shows it; its boxes are display only
// and are never unticked.
#pragma once

#include <QWidget>
#include <string>

#include "basis/Bediener.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace belvanto {

class TTestForm : public QWidget {
  Q_OBJECT
 public:
  explicit TTestForm(QWidget* parent = nullptr);

  // Shown without blocking, in front.
  void zeigen();
  // TestFuerLbl, repainted at once: the check runs with no event loop between.
  void schritt(const std::string& text);
  void anhaken(DatenKasten kasten);

 public slots:
  void OKBtnClick();

 private:
  QLabel* TestFuerLbl;
  QCheckBox* ZRBelegPDFCb;
  QCheckBox* ZRBelegCSVIndexCb;
  QCheckBox* ZRBelegCSVBuchungCb;
  QCheckBox* ZRAbrechnungCSVCb;
  QCheckBox* ZRAbrechnungPDFCb;
  QCheckBox* RemADVCb;
  QPushButton* OKBtn;
};

}  // namespace belvanto
