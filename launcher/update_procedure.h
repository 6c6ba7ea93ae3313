#pragma once

#include <cstdint>
#include <string>

#include "launcher/launcher_config.h"
#include "runtime/http/download_to_file.h"

// What the update procedure needs of the launcher around it: the tray tip,
// the phase, and the options for each download (progress, time cap,
// abort on stop). Called on the procedure's own thread.
class IUpdateHost {
 public:
  enum Phase { kIdle = 0, kManifest = 1, kPatch = 2, kProcessed = 3 };

  virtual ~IUpdateHost() = default;
  virtual void SetTip(const std::wstring& tip) = 0;
  virtual void SetPhase(Phase phase) = 0;
  // Enters a download phase (its time cap starts now) and returns the
  // options for that download.
  virtual brx::http::DownloadOptions BeginDownload(Phase phase) = 0;
};

struct UpdateOutcome {
  bool processed = false;  // a downloaded patch was installed or rolled back
  bool installed = false;  // ... and it is now installed
  std::string version;     // the version the installation has now, when installed
};

// The edition whose patch the procedure looks for.
struct EditionIdentity {
  std::string key;
  std::string version;
};

// The whole update once: fetch the manifest, decide, download the patch from
// one mirror, install it (with back-up and roll-back), put a waiting
// edition library in place, and record the new version in the registry.
// Every failure is one log line and ends the procedure; the caller starts
// the main client whatever the outcome.
UpdateOutcome RunUpdateProcedure(const LauncherConfig& config, const EditionIdentity& edition,
                                 IUpdateHost* host);
