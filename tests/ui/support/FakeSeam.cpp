#include "FakeSeam.h"

#include <QApplication>
#include <QThread>
#include <QWidget>

namespace vantrix::test {

void FakeSeam::MsgBox(const QString& text) { TitledMsgBox(QString(), text); }

void FakeSeam::TitledMsgBox(const QString& title, const QString& text) {
  messages.append(text);
  messageTitles.append(title);
  if (whileShown) whileShown();
}

ui::PressedButton FakeSeam::ShowModal(const ui::MessageDialogSpec& dialog) {
  dialogs.push_back(dialog);
  if (whileShown) whileShown();
  if (modalAnswers.empty()) return ui::PressedButton::Cancel;
  const ui::PressedButton answer = modalAnswers.front();
  modalAnswers.pop_front();
  return answer;
}

std::optional<std::filesystem::path> FakeSeam::GetOpenFolderItem() {
  ++openAsked;
  if (openAnswers.empty()) return std::nullopt;
  auto answer = openAnswers.front();
  openAnswers.pop_front();
  return answer;
}

std::optional<ui::SaveChoice> FakeSeam::GetSaveFolderItem(const QString& /*suggestedName*/,
                                                          const QStringList& filters) {
  saveFilters.push_back(filters);
  if (saveAnswers.empty()) return std::nullopt;
  auto answer = saveAnswers.front();
  saveAnswers.pop_front();
  return answer;
}

void FakeSeam::ShowURL(const QString& url) { urls.append(url); }

void FakeSeam::Beep() { ++beeps; }

void FakeSeam::Quit(int code) {
  quitCodes.push_back(code);
  // Like the real one, it ends the event loop that runs. With none running
  // there is nothing to end, and QCoreApplication::exit would instead make
  // the next event loop to start (a real box's, in a later test) return at once.
  if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(code);
}

void FakeSeam::Reset() {
  openAnswers.clear();
  modalAnswers.clear();
  saveAnswers.clear();
  saveFilters.clear();
  messages.clear();
  messageTitles.clear();
  dialogs.clear();
  openAsked = 0;
  urls.clear();
  beeps = 0;
  quitCodes.clear();
  executableFileName = QStringLiteral("vantrix");
  whileShown = nullptr;
}

FakeSeam& Fake() {
  static FakeSeam fake;
  return fake;
}

void CloseAllWindows() {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (!window->isWindow() || !window->testAttribute(Qt::WA_DeleteOnClose)) continue;
    // The splash refuses to be closed by anyone but its own timer.
    if (!window->close()) window->deleteLater();
  }
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  Fake().Reset();
}

}  // namespace vantrix::test
