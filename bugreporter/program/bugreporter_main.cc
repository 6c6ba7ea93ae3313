// The crash report uploader: started by a crashing program with the path
// of its fresh report, it sends the report compressed to the image storage
// server and ends. Silent whatever happens; the exit code is always 0.

#include <unistd.h>

#include "bugreporter/dump_upload.h"
#include "runtime/util/module_path.h"
#include "runtime/util/text_convert.h"

int main(int argc, char** argv) {
  std::string path = DumpPathFromArguments(argc, argv);
  // A relative report path is taken before the change of folder.
  if (!path.empty() && path[0] != '/') {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) path = std::string(cwd) + "/" + path;
  }
  std::string folder = brx::util::WideToUtf8(brx::util::GetModuleDirectory(nullptr));
  if (chdir(folder.c_str()) != 0) return 0;
  UploadDump(path);
  return 0;
}
