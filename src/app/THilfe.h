// The help window: a fixed text about what the program does and how to use it.
#pragma once

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

namespace belvanto {

class THilfe : public QWidget {
  Q_OBJECT
 public:
  explicit THilfe(QWidget* parent = nullptr);

  static const QStringList& hilfeZeilen();

 private:
  QPlainTextEdit* MmoHilfe;
  QPushButton* BtnSchliessen;
};

}  // namespace belvanto
