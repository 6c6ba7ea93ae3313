#include "client/host/logged_shell.h"

#include <cstdlib>
#include <cstring>

#include "runtime/logmaker/log.h"

bool LoggedShell::OpenUrl(const std::string& url) {
  LogWarnA("[Shell]open url %s\n", url.c_str());
  return inner_->OpenUrl(url);
}

bool LoggedShell::OpenFile(const std::string& path) {
  LogWarnA("[Shell]open file %s\n", path.c_str());
  return inner_->OpenFile(path);
}

std::unique_ptr<brx::platform::Shell> CreateHostShell() {
  const char* mode = getenv(kShellEnvironmentVariable);
  if (mode && strcmp(mode, "record") == 0)
    return std::make_unique<LoggedShell>(std::make_unique<brx::platform::RecordingShell>());
  return std::make_unique<LoggedShell>(brx::platform::CreateDesktopShell());
}
