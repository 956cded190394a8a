#pragma once

namespace vantrix::ui {

// Brings the program up once the application object exists and has its
// version record: installs the menu bar and opens the splash window, which
// hands over to the main window. The caller then runs the event loop.
void StartUp();

}  // namespace vantrix::ui
