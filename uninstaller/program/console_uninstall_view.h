#pragma once

#include <cstdio>
#include <string>

// The uninstaller's two pages as text, until the dialog of the user
// interface library takes their place: page 1 shows the warnings and asks
// on standard input ("uninstall" or "cancel", then "ok" or "cancel" to
// confirm); page 2 lists every removed file as the removal thread reports
// it and ends once the removal has finished. While it removes, the page
// cannot be closed: quit signals wait until it is done.
class ConsoleUninstallView {
 public:
  ConsoleUninstallView(std::string edition_key, std::string folder, std::wstring version,
                       std::string report_base);

  // Runs both pages; the program's exit code (0).
  int Run(FILE* in, FILE* out);

 private:
  bool ConfirmOnPageOne(FILE* in, FILE* out);
  void RemoveOnPageTwo(FILE* out);

  const std::string key_;
  const std::string folder_;
  const std::wstring version_;
  const std::string report_base_;
};
