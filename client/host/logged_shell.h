#pragma once

#include <memory>
#include <string>

#include "runtime/platform/shell.h"

// The shell of the main client: every URL or file it is asked to open is
// logged, then handed to the desktop, or only recorded when the
// environment sets OMBRIX_SHELL=record (tests and headless runs, where no
// browser should start).
class LoggedShell : public brx::platform::Shell {
 public:
  explicit LoggedShell(std::unique_ptr<brx::platform::Shell> inner) : inner_(std::move(inner)) {}

  bool OpenUrl(const std::string& url) override;
  bool OpenFile(const std::string& path) override;

 private:
  std::unique_ptr<brx::platform::Shell> inner_;
};

inline constexpr char kShellEnvironmentVariable[] = "OMBRIX_SHELL";

// The desktop's shell, or a recorder when OMBRIX_SHELL is "record"; logged.
std::unique_ptr<brx::platform::Shell> CreateHostShell();
