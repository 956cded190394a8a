#include "ui/toolkit/Seam.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QUrl>

namespace vantrix::ui {

namespace {

Seam* installed = nullptr;

// While a busy cursor is up, a modal box would show the wait cursor over a
// dialog that waits for the user; show the arrow until it is dismissed.
class ArrowWhileModal {
public:
  ArrowWhileModal() : pushed_(QGuiApplication::overrideCursor() != nullptr) {
    if (pushed_) QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
  }
  ~ArrowWhileModal() {
    if (pushed_) QGuiApplication::restoreOverrideCursor();
  }
  ArrowWhileModal(const ArrowWhileModal&) = delete;
  ArrowWhileModal& operator=(const ArrowWhileModal&) = delete;

private:
  bool pushed_;
};

// The window a box is shown over: the outermost window that the active one
// floats over. A floating window (the mail progress window) can close
// itself while a box is up, when a batch ends or fails, and would take its
// children with it; the window it floats over stays.
QWidget* DialogParent() {
  QWidget* window = QApplication::activeWindow();
  while (window != nullptr && window->parentWidget() != nullptr) {
    window = window->parentWidget()->window();
  }
  return window;
}

// A box made on the heap and freed here unless its parent went first: a
// window that closes while the box is up frees the box with it (and the
// box's event loop ends), so the box is never freed twice.
class OwnedBox {
public:
  explicit OwnedBox(QMessageBox* box) : box_(box) {}
  ~OwnedBox() { delete box_.data(); }
  OwnedBox(const OwnedBox&) = delete;
  OwnedBox& operator=(const OwnedBox&) = delete;
  QMessageBox* operator->() const { return box_.data(); }
  // The box is still there.
  explicit operator bool() const { return !box_.isNull(); }

private:
  QPointer<QMessageBox> box_;
};

}  // namespace

void RealSeam::MsgBox(const QString& text) {
  TitledMsgBox(QGuiApplication::applicationDisplayName(), text);
}

void RealSeam::TitledMsgBox(const QString& title, const QString& text) {
  ArrowWhileModal arrow;
  const OwnedBox box(
      new QMessageBox(QMessageBox::NoIcon, title, text, QMessageBox::Ok, DialogParent()));
  // Engine texts are shown exactly as they are, never read as markup.
  box->setTextFormat(Qt::PlainText);
  box->exec();
}

PressedButton RealSeam::ShowModal(const MessageDialogSpec& dialog) {
  ArrowWhileModal arrow;
  const OwnedBox box(new QMessageBox(DialogParent()));
  box->setWindowTitle(dialog.Title);
  box->setTextFormat(Qt::PlainText);
  box->setText(dialog.Message);
  box->setInformativeText(dialog.Explanation);
  box->setIcon(dialog.Icon == 1   ? QMessageBox::Warning
               : dialog.Icon == 2 ? QMessageBox::Critical
                                  : QMessageBox::Information);
  QPushButton* action = nullptr;
  QPushButton* alternate = nullptr;
  QPushButton* cancel = nullptr;
  if (dialog.ActionButton.Visible)
    action = box->addButton(dialog.ActionButton.Caption, QMessageBox::AcceptRole);
  if (dialog.AlternateActionButton.Visible)
    alternate = box->addButton(dialog.AlternateActionButton.Caption, QMessageBox::DestructiveRole);
  if (dialog.CancelButton.Visible)
    cancel = box->addButton(dialog.CancelButton.Caption, QMessageBox::RejectRole);
  if (action != nullptr) box->setDefaultButton(action);
  if (cancel != nullptr) box->setEscapeButton(cancel);
  box->exec();
  // A box that went with its window was dismissed without an answer.
  if (!box) return PressedButton::Cancel;
  const auto* clicked = box->clickedButton();
  if (clicked != nullptr && clicked == action) return PressedButton::Action;
  if (clicked != nullptr && clicked == alternate) return PressedButton::AlternateAction;
  return PressedButton::Cancel;
}

std::optional<std::filesystem::path> RealSeam::GetOpenFolderItem() {
  ArrowWhileModal arrow;
  const QString file = QFileDialog::getOpenFileName(DialogParent());
  if (file.isEmpty()) return std::nullopt;
  return std::filesystem::path(QFile::encodeName(file).toStdString());
}

std::optional<SaveChoice> RealSeam::GetSaveFolderItem(const QString& suggestedName,
                                                      const QStringList& filters) {
  ArrowWhileModal arrow;
  QString filter = filters.value(0);
  const QString file = QFileDialog::getSaveFileName(DialogParent(), QString(), suggestedName,
                                                    filters.join(QStringLiteral(";;")), &filter);
  if (file.isEmpty()) return std::nullopt;
  return SaveChoice{std::filesystem::path(QFile::encodeName(file).toStdString()), filter};
}

void RealSeam::ShowURL(const QString& url) {
  // A platform without a handler for the address shows nothing.
  QDesktopServices::openUrl(QUrl(url));
}

void RealSeam::Beep() { QApplication::beep(); }

void RealSeam::Quit(int code) { QCoreApplication::exit(code); }

QString RealSeam::ExecutableFileName() {
  return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

Seam& TheSeam() {
  static RealSeam real;
  return installed != nullptr ? *installed : real;
}

Seam* InstallSeam(Seam* seam) {
  Seam* before = installed;
  installed = seam;
  return before;
}

}  // namespace vantrix::ui
