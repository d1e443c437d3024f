// The protocol window; see TProtokollForm.h.
#include "protocol/TProtokollForm.h"

#include <QFile>
#include <QFileDialog>
#include <QFont>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <exception>
#include <filesystem>

#include "basis/Fensterteile.h"
#include "protocol/Druckerwahl.h"
#include "protocol/GridDrucken.h"

namespace belvanto {

TProtokollForm::TProtokollForm(Druckerwahl& druckerwahl, QWidget* parent)
    : QDialog(parent), druckerwahl_(druckerwahl) {
  setObjectName(QStringLiteral("ProtokollForm"));
  setWindowTitle(QStringLiteral("ProtokollForm"));
  setFont(fensterSchrift());
  resize(813, 495);
  move(311, 96);

  ProtokollGrid = new QTableWidget(1, 6, this);
  ProtokollGrid->setObjectName(QStringLiteral("ProtokollGrid"));
  ProtokollGrid->setGeometry(26, 8, 745, 409);
  ProtokollGrid->horizontalHeader()->hide();
  ProtokollGrid->verticalHeader()->hide();
  ProtokollGrid->horizontalHeader()->setDefaultSectionSize(64);
  ProtokollGrid->verticalHeader()->setMinimumSectionSize(1);
  ProtokollGrid->verticalHeader()->setDefaultSectionSize(24);
  ProtokollGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  ProtokollGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Long entries are cut at the cell edge, not shortened with dots.
  ProtokollGrid->setTextElideMode(Qt::ElideNone);
  // A wrapped cell elides its last visible line; the grid cuts at the cell edge.
  ProtokollGrid->setWordWrap(false);

  CloseBtn = knopf(this, "CloseBtn", QStringLiteral("Schliessen"), 696, 448);
  SaveBtn = knopf(this, "SaveBtn", QStringLiteral("Sichern"), 584, 448);
  PrintBtn = knopf(this, "PrintBtn", QStringLiteral("Drucken"), 472, 448);
  for (QPushButton* button : {CloseBtn, SaveBtn, PrintBtn}) button->setAutoDefault(false);
  setTabOrder(ProtokollGrid, CloseBtn);
  setTabOrder(CloseBtn, SaveBtn);
  setTabOrder(SaveBtn, PrintBtn);

  connect(CloseBtn, &QPushButton::clicked, this, &TProtokollForm::CloseBtnClick);
  connect(SaveBtn, &QPushButton::clicked, this, &TProtokollForm::SaveBtnClick);
  connect(PrintBtn, &QPushButton::clicked, this, &TProtokollForm::PrintBtnClick);

  // An existing protocol file is emptied without a question.
  dateiAbfrage = [](QWidget* eltern) {
    return QFileDialog::getSaveFileName(eltern, QString(), QString(), QString(), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
  };
}

void TProtokollForm::fuellen(ProtokollTabelle& protokoll) {
  protokoll_ = &protokoll;
  gridFuellen();
}

void TProtokollForm::zeigen(ProtokollTabelle& protokoll) {
  fuellen(protokoll);
  exec();
}

void TProtokollForm::showEvent(QShowEvent* event) {
  FormShow();
  QDialog::showEvent(event);
}

void TProtokollForm::FormShow() {
  gridFuellen();
  const int breiten[] = {150, 150, 100, 100, 100, 100};
  for (int spalte = 0; spalte < 6; ++spalte) ProtokollGrid->setColumnWidth(spalte, breiten[spalte]);
}

void TProtokollForm::gridFuellen() {
  const TextGrid& grid = protokoll_->grid();
  ProtokollGrid->setRowCount(grid.rowCount());
  for (int zeile = 0; zeile < grid.rowCount(); ++zeile) {
    for (int spalte = 0; spalte < grid.colCount(); ++spalte) {
      const QString text = QString::fromStdString(grid.cell(spalte, zeile));
      if (QTableWidgetItem* item = ProtokollGrid->item(zeile, spalte)) {
        item->setText(text);
      } else {
        ProtokollGrid->setItem(zeile, spalte, new QTableWidgetItem(text));
      }
    }
  }
}

void TProtokollForm::CloseBtnClick() {
  close();
}

void TProtokollForm::SaveBtnClick() {
  try {
    const QString datei = dateiAbfrage(this);
    if (datei.isEmpty()) return;
    protokoll_->speichern(std::filesystem::path(QFile::encodeName(datei).toStdString()));
  } catch (const std::exception& fehler) {
    fehlerBox(this, fehler.what());
  }
}

void TProtokollForm::PrintBtnClick() {
  try {
    GridDrucken(*ProtokollGrid, 0, 0, 0.6, druckerwahl_);
  } catch (const std::exception& fehler) {
    fehlerBox(this, fehler.what());
  }
}

}  // namespace belvanto
