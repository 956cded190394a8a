#include "ui/toolkit/Listbox.h"

#include <algorithm>

#include <QHeaderView>
#include <QItemSelectionModel>

namespace vantrix::ui {

namespace {
constexpr int kPictureRole = Qt::UserRole + 1;
constexpr int kEngineBytesRole = Qt::UserRole + 2;

QTableWidgetItem* NewCell(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  return item;
}
}  // namespace

Listbox::Listbox(const QStringList& headings, QWidget* parent)
    : QTableWidget(0, static_cast<int>(headings.size()), parent) {
  setHorizontalHeaderLabels(headings);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setHighlightSections(false);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSortingEnabled(false);
  setShowGrid(false);
  setWordWrap(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setFocusPolicy(Qt::ClickFocus);
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& /*selected*/, const QItemSelection& deselected) {
            previousIndex_ = deselected.isEmpty() ? -1 : deselected.indexes().first().row();
            Q_EMIT Change();
          });
}

void Listbox::AddRow(const QString& cell0) {
  const int row = rowCount();
  insertRow(row);
  for (int column = 0; column < columnCount(); ++column) {
    setItem(row, column, NewCell(column == 0 ? cell0 : QString()));
  }
  lastIndex_ = row;
}

QString Listbox::Cell(int row, int column) const {
  const QTableWidgetItem* cell = item(row, column);
  return cell != nullptr ? cell->text() : QString();
}

std::string Listbox::EngineText(int row, int column) const {
  const QTableWidgetItem* cell = item(row, column);
  if (cell == nullptr) return {};
  const QVariant bytes = cell->data(kEngineBytesRole);
  if (bytes.isValid()) return bytes.toByteArray().toStdString();
  return cell->text().toStdString();
}

void Listbox::SetCell(int row, int column, const QString& text) {
  if (QTableWidgetItem* cell = item(row, column)) {
    cell->setData(kEngineBytesRole, QVariant());
    cell->setText(text);
  }
}

int Listbox::ListIndex() const {
  const QModelIndexList rows = selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void Listbox::SetListIndex(int row) {
  if (row < 0 || row >= rowCount()) {
    clearSelection();
    return;
  }
  SetSelected(row, true);
}

bool Listbox::Selected(int row) const {
  return row >= 0 && row < rowCount() && selectionModel()->isRowSelected(row, QModelIndex());
}

void Listbox::SetSelected(int row, bool selected) {
  if (row < 0 || row >= rowCount()) return;
  const QModelIndex index = model()->index(row, 0);
  if (selected) {
    selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  } else {
    selectionModel()->select(index, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
  }
}

QString Listbox::RowDescription(int row) const {
  const QTableWidgetItem* cell = item(row, 0);
  return cell != nullptr ? cell->data(Qt::AccessibleDescriptionRole).toString() : QString();
}

void Listbox::SetRowDescription(int row, const QString& text) {
  const QVariant value = text.isEmpty() ? QVariant() : QVariant(text);
  for (int column = 0; column < columnCount(); ++column) {
    if (QTableWidgetItem* cell = item(row, column)) {
      cell->setData(Qt::ToolTipRole, value);
      cell->setData(Qt::AccessibleDescriptionRole, value);
    }
  }
}

QPixmap Listbox::RowPicture(int row) const {
  const QTableWidgetItem* cell = item(row, 0);
  return cell != nullptr ? cell->data(kPictureRole).value<QPixmap>() : QPixmap();
}

void Listbox::SetRowPicture(int row, const QPixmap& picture) {
  QTableWidgetItem* cell = item(row, 0);
  if (cell == nullptr) return;
  cell->setData(kPictureRole, picture);
  cell->setIcon(picture.isNull() ? QIcon() : QIcon(picture));
}

int Listbox::DefaultRowHeight() const { return verticalHeader()->defaultSectionSize(); }

void Listbox::SetDefaultRowHeight(int pixels) {
  verticalHeader()->setMinimumSectionSize(std::min(pixels, verticalHeader()->minimumSectionSize()));
  verticalHeader()->setDefaultSectionSize(pixels);
}

void Listbox::AddRow(const std::string& cell0) {
  AddRow(QString::fromStdString(cell0));
  item(lastIndex_, 0)->setData(kEngineBytesRole, QByteArray::fromStdString(cell0));
}

void Listbox::SetLastRowCell(int column, const std::string& text) {
  QTableWidgetItem* cell = item(lastIndex_, column);
  if (cell == nullptr) return;
  cell->setText(QString::fromStdString(text));
  cell->setData(kEngineBytesRole, QByteArray::fromStdString(text));
}

void Listbox::SetLastRowDescription(const std::string& text) {
  SetRowDescription(lastIndex_, QString::fromStdString(text));
}

void Listbox::DeleteAllRows() {
  setRowCount(0);
  lastIndex_ = -1;
}

}  // namespace vantrix::ui
