#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

#include "ui/toolkit/Seam.h"

namespace vantrix::test {

// The seam for widget tests: answers at once instead of blocking on the
// user, from answers the test prepares, and records everything asked of it.
// Like the real dialogs, an open-file or save-file dialog with no prepared answer is
// cancelled (none) and a message dialog with none is dismissed (Cancel).
// Quit records the code and, like the real one, ends the running event loop
// (when one runs).
class FakeSeam final : public ui::Seam {
public:
  void MsgBox(const QString& text) override;
  void TitledMsgBox(const QString& title, const QString& text) override;
  ui::PressedButton ShowModal(const ui::MessageDialogSpec& dialog) override;
  std::optional<std::filesystem::path> GetOpenFolderItem() override;
  std::optional<ui::SaveChoice> GetSaveFolderItem(const QString& suggestedName,
                                                  const QStringList& filters) override;
  void ShowURL(const QString& url) override;
  void Beep() override;
  void Quit(int code) override;
  QString ExecutableFileName() override { return executableFileName; }

  // Forgets everything recorded and every prepared answer.
  void Reset();

  // Prepared answers, taken first in, first out.
  std::deque<std::optional<std::filesystem::path>> openAnswers;
  std::deque<ui::PressedButton> modalAnswers;
  std::deque<std::optional<ui::SaveChoice>> saveAnswers;
  // The program's file name as the fake reports it.
  QString executableFileName = QStringLiteral("vantrix");
  // Called while a message box or a message dialog is on screen, before it
  // is answered: what a test checks of the program's state at that moment.
  std::function<void()> whileShown;

  // What was asked, in order.
  QStringList messages;
  // The title of each of those message boxes ("" for an untitled one).
  QStringList messageTitles;
  std::vector<ui::MessageDialogSpec> dialogs;
  int openAsked = 0;
  // The file types each save-file dialog offered.
  std::vector<QStringList> saveFilters;
  QStringList urls;
  int beeps = 0;
  std::vector<int> quitCodes;
};

// While it lives, the program's real seam (the real Qt boxes) is in use
// instead of the one installed before: for tests of the real boxes, which
// must then answer them themselves (from a timer, say).
class RealSeamInUse {
public:
  RealSeamInUse() : before_(ui::InstallSeam(nullptr)) {}
  ~RealSeamInUse() { ui::InstallSeam(before_); }
  RealSeamInUse(const RealSeamInUse&) = delete;
  RealSeamInUse& operator=(const RealSeamInUse&) = delete;

private:
  ui::Seam* before_;
};

// The FakeSeam the widget-test main() installed.
FakeSeam& Fake();

// Closes every window, lets the closed ones be deleted and forgets what the
// fake recorded: a clean start for the next test.
void CloseAllWindows();

}  // namespace vantrix::test
