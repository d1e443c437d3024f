// The protocol window: shows the run protocol at the end of a run and lets
// the bookkeeper save it as a text file or print it.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

#include "protocol/UProtokoll.h"

class QPushButton;
class QShowEvent;
class QTableWidget;

namespace belvanto {

class Druckerwahl;

class TProtokollForm : public QDialog {
  Q_OBJECT

 public:
  explicit TProtokollForm(Druckerwahl& druckerwahl, QWidget* parent = nullptr);

  // The protocol this window shows, saves and prints from now on.
  void fuellen(ProtokollTabelle& protokoll);
  // Shows `protokoll` modally; returns when the window is closed.
  void zeigen(ProtokollTabelle& protokoll);

  // Asks for the file to save to; an empty answer means cancelled. The save
  // file dialog by default, replaced by tests.
  std::function<QString(QWidget* parent)> dateiAbfrage;

  QTableWidget* ProtokollGrid;
  QPushButton* CloseBtn;
  QPushButton* SaveBtn;
  QPushButton* PrintBtn;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();
  void CloseBtnClick();
  void SaveBtnClick();
  void PrintBtnClick();
  void gridFuellen();

  Druckerwahl& druckerwahl_;
  Protokoll leer_;
  ProtokollTabelle* protokoll_ = &leer_;
};

}  // namespace belvanto
