#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <string>

namespace brx::io::ipc {

// Named pipes are Unix domain stream sockets at <pipe folder>/<name>
// (PipeDirectory: $OMBRIX_PIPE_DIR, else $XDG_RUNTIME_DIR/ombrix, else
// /tmp/ombrix-<uid>, created 0700 so only the user's own processes can
// connect). Empty when the folder cannot be made.
std::string PipePath(const std::wstring& name);

// Fills a socket address for `path`. False, with a log line naming the
// path, when it does not fit sun_path (107 bytes).
bool MakePipeAddress(const std::string& path, sockaddr_un* address, socklen_t* length);

}  // namespace brx::io::ipc
