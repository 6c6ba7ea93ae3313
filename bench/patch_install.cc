// Installing a large patch against unpacking it with the 7z program, both
// in the same run on the same archive.
//
// The archive holds a few hundred files (text-like and incompressible, some
// in sub-folders, tens of MB in all) and is made with `7z a`. The 7z side is
// `7z x` into an empty folder; the launcher side is InstallPatch over an
// installation that already has an older copy of half of the files, so it
// extracts, keeps a back-up, writes its journal and copies in, all as the
// launcher does. Each side runs several times, the two taking turns at
// going first (so neither always meets the page cache the other left);
// the medians count.
//
//   patch_install [files] [megabytes] [runs]    (default 400, 40, 5)

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_stats.h"
#include "launcher/patch_installer.h"
#include "runtime/platform/process.h"

namespace {

namespace fs = std::filesystem;
using bench::Median;
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
  int runs = argc > 3 ? std::max(1, atoi(argv[3])) : 5;
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
    std::string name = (i % 3 ? "lib/" + std::to_string(i % 7) + "/" : std::string()) + "file" +
                       std::to_string(i) + ".dll";
    Write(root / "src" / name, data);
    if (i % 2 == 0) Write(root / "install-template" / name, "an older version");
  }
  std::string archive = (root / "patch.7z").string();
  if (!Run7z({"a", "-bd", "-bso0", "-y", archive, "."}, (root / "src").string())) {
    fprintf(stderr, "7z a failed\n");
    return 1;
  }

  // Each side's set-up stays out of its time: the empty folder for 7z,
  // the older installation for the launcher.
  auto run_7z = [&]() -> double {
    fs::remove_all(root / "x");
    fs::create_directories(root / "x");
    auto start = Clock::now();
    if (!Run7z({"x", "-bd", "-bso0", "-y", archive}, (root / "x").string())) return -1;
    return Seconds(Clock::now() - start);
  };
  auto run_install = [&]() -> double {
    fs::remove_all(root / "install");
    fs::copy(root / "install-template", root / "install", fs::copy_options::recursive);
    PatchFolders folders{(root / "install").string(), (root / "work/extract").string(),
                         (root / "work/backup").string(), ""};
    fs::create_directories(root / "work");
    auto start = Clock::now();
    if (!InstallPatch(archive, folders)) return -1;
    return Seconds(Clock::now() - start);
  };
  const std::string load_before = bench::LoadAverage();
  std::vector<double> times_7z, times_install;
  for (int run = 0; run < runs; ++run) {
    if (run % 2 == 0) {
      times_7z.push_back(run_7z());
      times_install.push_back(run_install());
    } else {
      times_install.push_back(run_install());
      times_7z.push_back(run_7z());
    }
    if (times_7z.back() < 0 || times_install.back() < 0) {
      fprintf(stderr, "%s failed\n", times_7z.back() < 0 ? "7z x" : "InstallPatch");
      return 1;
    }
  }
  auto range = [](const std::vector<double>& v) {
    char text[64];
    snprintf(text, sizeof text, "%.3f-%.3f", *std::min_element(v.begin(), v.end()),
             *std::max_element(v.begin(), v.end()));
    return std::string(text);
  };
  double median_7z = Median(times_7z), median_install = Median(times_install);
  printf("patch: %d files, %d MB, archive %.1f MB; medians of %d runs, each side first in turn\n",
         files, megabytes, fs::file_size(archive) / 1048576.0, runs);
  printf("7z x into an empty folder: %.3f s (%s)\n", median_7z, range(times_7z).c_str());
  printf("InstallPatch (extract, back-up, copy in): %.3f s (%s)\n", median_install,
         range(times_install).c_str());
  printf("ratio: %.2fx (target <= 1.2x)\n", median_install / median_7z);
  printf("load average: %s before, %s after\n", load_before.c_str(), bench::LoadAverage().c_str());
  fs::remove_all(root);
  return 0;
}
