#pragma once

#include <QApplication>
#include <QString>

namespace vantrix {

// The application object. There is one per run; its constructor does no
// work beyond Qt's own. Start-up (main) sets the version record right after
// creating it, and the windows read the record back from here.
class App : public QApplication {
  Q_OBJECT

public:
  enum class Stage { Development, Alpha, Beta, Final };

  // The release this program is.
  static constexpr int kMajorVersion = 2024;
  static constexpr int kMinorVersion = 7;
  static constexpr int kBugVersion = 1;
  static constexpr int kBuildNumber = 136;
  static constexpr Stage kStage = Stage::Final;

  App(int& argc, char** argv);

  // Fills the version record below (and Qt's application version) with
  // this release's numbers.
  void SetVersionRecord();

  int MajorVersion = 0;
  int MinorVersion = 0;
  int BugVersion = 0;
  int NonReleaseVersion = 0;  // the build number
  Stage StageCode = Stage::Development;
  // The short version text, "major.minor.bug".
  QString Version;

  // The running App, or nullptr when the application object is not one.
  static App* Instance();
  // The short version text of the running App's record; this release's
  // when the application object is not an App.
  static QString RunningVersion();
};

}  // namespace vantrix
