#pragma once

#include <QWidget>

class QLabel;
class QTimer;

namespace vantrix::ui {

// The first window: logo and description for three seconds, then it opens
// the main window and closes itself. It has no title-bar buttons and the
// user cannot close it.
class SplashWin : public QWidget {
public:
  static constexpr bool kVisibleAtCreation = true;
  static constexpr int kSplashMilliseconds = 3000;

  SplashWin();

  QLabel* Canvas1;
  QLabel* StaticText1;
  QTimer* Timer1;

  // Centres the window and sets its text.
  void Open();
  // Timer1's action: opens the main window, then closes the splash.
  void Timer1_Action();

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  bool closing_ = false;
};

}  // namespace vantrix::ui
