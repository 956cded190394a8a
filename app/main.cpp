#include <QGuiApplication>

#include "app/App.h"
#include "ui/StartUp.h"

int main(int argc, char** argv) {
  // Draw at the screen's native resolution: Qt 6 always scales for high
  // DPI; pass fractional factors through instead of rounding them.
  QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
      Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);

  vantrix::App app(argc, argv);
  app.SetVersionRecord();
  vantrix::ui::StartUp();
  return vantrix::App::exec();
}
