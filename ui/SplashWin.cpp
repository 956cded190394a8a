#include "ui/SplashWin.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QTimer>

#include "ui/FinestraPrincipale.h"
#include "ui/Texts.h"
#include "ui/toolkit/CentraFinestra.h"
#include "ui/toolkit/SingleInstance.h"
#include "ui/toolkit/Widgets.h"

namespace vantrix::ui {

SplashWin::SplashWin()
    : QWidget(nullptr,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),  // no buttons
      Canvas1(new QLabel(this)),
      StaticText1(new QLabel(this)),
      Timer1(new QTimer(this)) {
  setObjectName(QStringLiteral("SplashWin"));
  setWindowTitle(QStringLiteral("About"));
  setFixedSize(600, 271);
  WhiteBackground(this);

  LogoAndDescription(Canvas1, StaticText1, 101);

  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setSingleShot(true);
  Timer1->setInterval(kSplashMilliseconds);
  connect(Timer1, &QTimer::timeout, this, &SplashWin::Timer1_Action);
  // A program that ends during the splash never opens the main window.
  connect(qApp, &QCoreApplication::aboutToQuit, Timer1, &QTimer::stop);
  Timer1->start();
}

void SplashWin::Open() {
  CentraFinestra(*this);
  StaticText1->setText(texts::SplashText());
}

void SplashWin::Timer1_Action() {
  auto& main = Reach<FinestraPrincipale>();
  main.show();
  main.raise();
  main.activateWindow();
  closing_ = true;
  close();
}

void SplashWin::closeEvent(QCloseEvent* event) {
  // The window manager may offer to close any window; the splash goes
  // only when its timer has opened the main window (or the program ends).
  if (!closing_) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

}  // namespace vantrix::ui
