// Installing a large patch against unpacking it with the 7z program, both
// in the same run on the same archive.
//
// The archive holds a few hundred files (text-like and incompressible, some
// in sub-folders, tens of MB in all) and is made with `7z a`. The 7z side is
// `7z x` into an empty folder; the launcher side is InstallPatch over an
// installation that already has an older copy of half of the files, so it
// extracts, keeps a back-up, writes its journal and copies in, all as the
// launcher does. Each side runs several times; the best time counts.
//
//   patch_install [files] [megabytes] [runs]

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "launcher/patch_installer.h"
#include "runtime/platform/process.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

void Write(const fs::path& path, const std::string& data) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << data;
}

bool Run7z(const std::vector<std::string>& args, const std::string& folder) {
  auto child = brx::platform::ChildProcess::Spawn({"/usr/bin/7z", args, folder});
  int status = -1;
  return child && child->Wait(-1, &status) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  int files = argc > 1 ? atoi(argv[1]) : 400;
  int megabytes = argc > 2 ? atoi(argv[2]) : 40;
  int runs = argc > 3 ? atoi(argv[3]) : 3;
  char tmpl[] = "/tmp/ombrix-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  fs::path root = tmpl;

  std::mt19937_64 random(42);
  size_t per_file = static_cast<size_t>(megabytes) * 1024 * 1024 / files;
  for (int i = 0; i < files; ++i) {
    std::string data(per_file, '\0');
    if (i % 2) {
      for (char& c : data) c = static_cast<char>(random());
    } else {
      for (size_t j = 0; j < data.size(); ++j) data[j] = "Ombrix patch line\n"[(j + i) % 18];
    }
    std::string name = (i % 3 ? "lib/" + std::to_string(i % 7) + "/" : std::string()) + "file" + std::to_string(i) + ".dll";
    Write(root / "src" / name, data);
    if (i % 2 == 0) Write(root / "install-template" / name, "an older version");
  }
  std::string archive = (root / "patch.7z").string();
  if (!Run7z({"a", "-bd", "-bso0", "-y", archive, "."}, (root / "src").string())) {
    fprintf(stderr, "7z a failed\n");
    return 1;
  }

  double best_7z = 1e9, best_install = 1e9;
  for (int run = 0; run < runs; ++run) {
    fs::remove_all(root / "x");
    fs::create_directories(root / "x");
    auto start = Clock::now();
    if (!Run7z({"x", "-bd", "-bso0", "-y", archive}, (root / "x").string())) return 1;
    best_7z = std::min(best_7z, Seconds(Clock::now() - start));

    fs::remove_all(root / "install");
    fs::copy(root / "install-template", root / "install", fs::copy_options::recursive);
    PatchFolders folders{(root / "install").string(), (root / "work/extract").string(),
                         (root / "work/backup").string(), ""};
    fs::create_directories(root / "work");
    start = Clock::now();
    if (!InstallPatch(archive, folders)) {
      fprintf(stderr, "InstallPatch failed\n");
      return 1;
    }
    best_install = std::min(best_install, Seconds(Clock::now() - start));
  }
  printf("patch: %d files, %d MB, archive %.1f MB\n", files, megabytes, fs::file_size(archive) / 1048576.0);
  printf("7z x into an empty folder: %.3f s\n", best_7z);
  printf("InstallPatch (extract, back-up, copy in): %.3f s\n", best_install);
  printf("ratio: %.2fx (target <= 1.2x)\n", best_install / best_7z);
  fs::remove_all(root);
  return 0;
}
