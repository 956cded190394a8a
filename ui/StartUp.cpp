#include "ui/StartUp.h"

#include <QApplication>

#include "ui/MenuBar1.h"
#include "ui/SplashWin.h"
#include "ui/toolkit/SingleInstance.h"

namespace vantrix::ui {

void StartUp() {
  // The program ends when the main window is closed (or an update offer is
  // taken), never because the last window went away: between the splash
  // closing and the main window showing there is a moment without any.
  QApplication::setQuitOnLastWindowClosed(false);

  if (MenuBar1::Installed() == nullptr) MenuBar1::Install(new MenuBar1(qApp));
  Reach<SplashWin>();
}

}  // namespace vantrix::ui
