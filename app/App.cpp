#include "app/App.h"

namespace vantrix {

App::App(int& argc, char** argv) : QApplication(argc, argv) {}

void App::SetVersionRecord() {
  MajorVersion = kMajorVersion;
  MinorVersion = kMinorVersion;
  BugVersion = kBugVersion;
  NonReleaseVersion = kBuildNumber;
  StageCode = kStage;
  Version = QStringLiteral("%1.%2.%3").arg(MajorVersion).arg(MinorVersion).arg(BugVersion);
  setApplicationName(QStringLiteral("Vantrix"));
  setOrganizationName(QStringLiteral("Orvello"));
  setApplicationVersion(Version);
}

App* App::Instance() { return qobject_cast<App*>(QCoreApplication::instance()); }

QString App::RunningVersion() {
  if (const App* app = Instance()) return app->Version;
  return QStringLiteral("%1.%2.%3").arg(kMajorVersion).arg(kMinorVersion).arg(kBugVersion);
}

}  // namespace vantrix
