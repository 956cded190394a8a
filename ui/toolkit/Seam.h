#pragma once

#include <filesystem>
#include <optional>

#include <QString>
#include <QStringList>

namespace vantrix::ui {

// One button of a message dialog.
struct DialogButton {
  QString Caption;
  bool Visible = true;
};

// A message dialog with up to three buttons, as the update offer uses it.
struct MessageDialogSpec {
  QString Title;  // empty: a dialog without a title
  QString Message;
  QString Explanation;
  int Icon = 0;  // 0 = note, 1 = caution, 2 = stop
  DialogButton ActionButton{QStringLiteral("OK"), true};
  DialogButton AlternateActionButton{QString(), false};
  DialogButton CancelButton{QStringLiteral("Cancel"), false};
};

// What the user chose in a save-file dialog: the file, and the file type
// (one of the filters offered) it was chosen under.
struct SaveChoice {
  std::filesystem::path file;
  QString filter;
};

// Which button of a MessageDialogSpec the user pressed.
enum class PressedButton { Action, AlternateAction, Cancel };

// Everything that blocks on the user or leaves the process goes through
// here: modal boxes, the open-file dialog, the browser or mail program, the
// alert sound, quitting, and the program's own file name. The program uses the real one; tests
// install a double that answers at once and records what was asked.
class Seam {
public:
  Seam() = default;
  Seam(const Seam&) = delete;
  Seam& operator=(const Seam&) = delete;
  virtual ~Seam() = default;

  // A modal message box with the text and an OK button.
  virtual void MsgBox(const QString& text) = 0;
  // The same with a title of its own: for a text that is not the program's
  // but an engine's or a server's, the title says which side it came from
  // ("DB 1", "DB 2"). A seam without titles shows the text alone.
  virtual void TitledMsgBox(const QString& /*title*/, const QString& text) { MsgBox(text); }
  // A modal message dialog; answers the button pressed (Cancel when the
  // dialog was dismissed otherwise).
  virtual PressedButton ShowModal(const MessageDialogSpec& dialog) = 0;
  // The open-file dialog, for any kind of file: the file picked, or none.
  virtual std::optional<std::filesystem::path> GetOpenFolderItem() = 0;
  // The save-file dialog offering the file types `filters` ("HTML page
  // (*.html)"), the first one chosen at first: the choice, or none.
  virtual std::optional<SaveChoice> GetSaveFolderItem(const QString& suggestedName,
                                                      const QStringList& filters) = 0;
  // Opens an address (web page, mailto:) with the platform's handler.
  virtual void ShowURL(const QString& url) = 0;
  // The system alert sound.
  virtual void Beep() = 0;
  // Ends the run with the exit code.
  virtual void Quit(int code) = 0;
  // The file name of the running executable, as it lies on disk.
  virtual QString ExecutableFileName() = 0;
};

// The Qt implementation.
class RealSeam final : public Seam {
public:
  void MsgBox(const QString& text) override;
  void TitledMsgBox(const QString& title, const QString& text) override;
  PressedButton ShowModal(const MessageDialogSpec& dialog) override;
  std::optional<std::filesystem::path> GetOpenFolderItem() override;
  std::optional<SaveChoice> GetSaveFolderItem(const QString& suggestedName,
                                              const QStringList& filters) override;
  void ShowURL(const QString& url) override;
  void Beep() override;
  void Quit(int code) override;
  QString ExecutableFileName() override;
};

// The seam in use: the real one unless another was installed.
Seam& TheSeam();
// Installs a seam (not owned; nullptr goes back to the real one) and
// answers the one installed before.
Seam* InstallSeam(Seam* seam);

}  // namespace vantrix::ui
