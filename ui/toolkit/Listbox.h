#pragma once

#include <string>

#include <QPixmap>
#include <QStringList>
#include <QTableWidget>

#include "db/ListRows.h"

namespace vantrix::ui {

// A list of rows and columns with a heading, one selectable row at a time,
// and an optional picture in front of each row. Columns share the width
// equally and the user cannot resize them; there is no horizontal scroll
// bar and no sorting. Lists are reached with the mouse only, so they are
// not in the keyboard's tab order. Rows and columns count from 0.
//
// The schema listing of the core fills a Listbox through ListRows.
class Listbox : public QTableWidget, public db::ListRows {
  Q_OBJECT

public:
  explicit Listbox(const QStringList& headings, QWidget* parent = nullptr);

  // Appends a row with cell 0 set; LastIndex is then that row.
  void AddRow(const QString& cell0);
  void AddRow(const char* cell0) { AddRow(QString::fromUtf8(cell0)); }
  // The row added last, -1 when none is (after DeleteAllRows too).
  [[nodiscard]] int LastIndex() const { return lastIndex_; }
  [[nodiscard]] int ListCount() const { return rowCount(); }

  // Cell text; outside the list, reading gives "" and writing does nothing.
  [[nodiscard]] QString Cell(int row, int column) const;
  // A cell's text as the engine gave it: the exact bytes of a text set
  // through ListRows (which need not be valid UTF-8, so the shown text may
  // differ), otherwise the shown text as UTF-8.
  [[nodiscard]] std::string EngineText(int row, int column) const;
  void SetCell(int row, int column, const QString& text);

  // The selected row, -1 for none. Setting -1 clears the selection.
  [[nodiscard]] int ListIndex() const;
  void SetListIndex(int row);
  // The row the last change of the selection left, -1 for none.
  [[nodiscard]] int PreviousListIndex() const { return previousIndex_; }
  [[nodiscard]] bool Selected(int row) const;
  void SetSelected(int row, bool selected);

  // A row's description: its tooltip and what assistive tools read for
  // each of its cells (Qt::ToolTipRole and Qt::AccessibleDescriptionRole
  // of every cell). Empty for none; setting "" takes it away. Changing a
  // cell's text keeps it.
  [[nodiscard]] QString RowDescription(int row) const;
  void SetRowDescription(int row, const QString& text);

  // The picture in front of a row (null when it has none).
  [[nodiscard]] QPixmap RowPicture(int row) const;
  void SetRowPicture(int row, const QPixmap& picture);

  // Height of every row, in pixels.
  [[nodiscard]] int DefaultRowHeight() const;
  void SetDefaultRowHeight(int pixels);

  // ListRows, texts as UTF-8; each cell keeps the exact bytes too.
  void AddRow(const std::string& cell0) override;
  void SetLastRowCell(int column, const std::string& text) override;
  void SetLastRowDescription(const std::string& text) override;
  void DeleteAllRows() override;

Q_SIGNALS:
  // The selection changed (by the user or by the program).
  void Change();

private:
  int lastIndex_ = -1;
  int previousIndex_ = -1;
};

}  // namespace vantrix::ui
