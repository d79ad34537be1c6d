#pragma once

namespace kolvane::install {

// True when the command line or the program file's name and place ask for the setup wizard or
// the uninstaller's copy; both need a widget application of their own.
bool isSetupRun(int argc, char** argv);
// Runs the wizard or the uninstaller through the gateway's start-up; the exit code.
int runSetup(int argc, char** argv);

}  // namespace kolvane::install
