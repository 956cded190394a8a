#pragma once

#include <QWidget>

class QPlainTextEdit;

namespace vantrix::ui {

// The help text in a read-only text area that fills the window. It floats
// above the main window.
class FinestraHelp : public QWidget {
public:
  static constexpr bool kVisibleAtCreation = false;

  FinestraHelp();

  QPlainTextEdit* TextArea1;

  void Open() {}
};

}  // namespace vantrix::ui
