// The console's program-wide values, fixed during start-up and read by every page, and the two
// small operations the pages share: opening the manual and deleting a directory tree.
#pragma once

#include <string>

namespace app {

struct ProgramValues {
    std::string configFilePath;  // ConfigFilePath: program data directory + "ZIZOD.INI"
    std::string manualPath;      // ManualPath: real program directory + "zelmosms.pdf"
    bool manualPresent = false;  // ManualPresent: the Help buttons are shown
    bool sslAvailable = false;   // SslAvailable: the TLS library started
    // ServerCertificatePresent: a server certificate exists (the SSL/TLS page may set it later).
    bool serverCertificatePresent = false;
    bool quietMode = false;           // QuietMode: the command line asked for no messages
    bool useOldModemHandler = false;  // UseOldModemHandler, from OldModemHandler (default "No")
    bool statusPageEnabled = true;    // StatusPageEnabled, from StatusDialogEnabled (default "Yes")
};

// The values of this run. Written by the start-up code on the main thread only.
ProgramValues& Program();

// Opens the manual with the desktop's associated program, with the manual's folder as working
// directory, without waiting. Failures are silent.
void OpenManual();

// Deletes `path` with everything below it: files are deleted, subdirectories handled the same way
// (those whose name begins with "." are left alone), and the directory itself removed when it is
// empty by then. Symbolic links are deleted, never followed. Every failure is silent; an empty
// path does nothing.
void DeleteDirectoryTree(const std::string& path);

}  // namespace app
