#pragma once

#include <string>

namespace brx::platform {

// Folders of the user's private run-time state. Each is created (0700) on
// first use; an empty result means it could not be created, or that what
// stands there is not a folder of this user's own.

// Where named pipes live: $OMBRIX_PIPE_DIR, else $XDG_RUNTIME_DIR/ombrix,
// else /tmp/ombrix-<uid>.
std::string PipeDirectory();
// Where single-instance locks live: $OMBRIX_LOCK_DIR, else the pipe folder.
std::string LockDirectory();
// Where the registry hives live: $OMBRIX_REGISTRY_DIR, else
// ~/.local/share/ombrix/registry.
std::string RegistryDirectory();
// The user's private scratch folder, in place of a shared temporary
// folder: $TMPDIR (else /tmp) + "/ombrix-tmp-<uid>". Fixed names inside it
// cannot be planted or redirected by other users.
std::string TempDirectory();
// The XDG autostart folder: $XDG_CONFIG_HOME/autostart, else
// ~/.config/autostart.
std::string AutostartDirectory();
// The user's home folder.
std::string HomeDirectory();

// Creates `path` and its missing parents with `mode`; true when it exists
// as a folder afterwards.
bool MakeDirectories(const std::string& path, unsigned mode);

// Full path of the running program (/proc/self/exe). A program that a
// starter of its own runs (OBHost.exe) is the file "<program>.bin" beside
// its starter; it is named and placed as the starter: "<program>".
std::string ExecutablePath();

}  // namespace brx::platform
