// How soon the client's login window is on the screen, and what the
// client costs while it waits there, each beside a plain GTK window
// (plain_gtk_window) started the same way:
//   - start: from the spawn of the program to the first time its window
//     is mapped and painted (its pixels are not all of one colour);
//   - memory at rest: 3 s after that, the resident and proportional set
//     sizes of the program alone and with every process it started.
// OBHost.exe runs from a private copy of the install folder against the
// web stand-in, with private pipe, lock, registry and home folders. Needs
// a display without a window manager (run under xvfb-run); prints the
// medians of the runs.
//
//   login_window_start [runs]    (default 5)
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_process.h"
#include "bench/bench_stats.h"

namespace {

using bench::Median;
using bench::ReadAll;
using bench::Spawn;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

void Stop(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

// The viewable top-level window whose class name is `name`, or 0.
Window FindWindow(Display* display, const std::string& name) {
  Window root_return = 0, parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  Window found = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root_return, &parent, &children, &count))
    return 0;
  for (unsigned int i = 0; i < count && found == 0; ++i) {
    XClassHint hint{};
    if (!XGetClassHint(display, children[i], &hint)) continue;
    bool match = hint.res_name != nullptr && name == hint.res_name;
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    XWindowAttributes attributes{};
    if (match && XGetWindowAttributes(display, children[i], &attributes) &&
        attributes.map_state == IsViewable)
      found = children[i];
  }
  if (children) XFree(children);
  return found;
}

// True once the window shows more than its background.
bool Painted(Display* display, Window window) {
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display, window, &attributes) || attributes.width < 2 ||
      attributes.height < 2)
    return false;
  XImage* image =
      XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
  if (image == nullptr) return false;
  std::set<unsigned long> colours;
  for (int y = 0; y < attributes.height && colours.size() < 3; y += 2)
    for (int x = 0; x < attributes.width && colours.size() < 3; x += 2)
      colours.insert(XGetPixel(image, x, y));
  XDestroyImage(image);
  return colours.size() >= 3;
}

std::vector<pid_t> Family(pid_t root) {
  std::map<pid_t, std::vector<pid_t>> kids;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::string name = entry.path().filename();
    if (name.empty() || !std::all_of(name.begin(), name.end(), ::isdigit)) continue;
    std::string stat = ReadAll(entry.path().string() + "/stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(stat.substr(close + 2));
    std::string state;
    pid_t parent = 0;
    rest >> state >> parent;
    kids[parent].push_back(std::stoi(name));
  }
  std::vector<pid_t> family, todo = {root};
  while (!todo.empty()) {
    pid_t pid = todo.back();
    todo.pop_back();
    family.push_back(pid);
    for (pid_t kid : kids[pid]) todo.push_back(kid);
  }
  return family;
}

// Kilobytes of "Rss" and "Pss" of one process.
std::pair<double, double> Memory(pid_t pid) {
  std::istringstream in(ReadAll("/proc/" + std::to_string(pid) + "/smaps_rollup"));
  double rss = 0, pss = 0;
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string key;
    double kb = 0;
    if (!(fields >> key >> kb)) continue;
    if (key == "Rss:") rss = kb;
    if (key == "Pss:") pss = kb;
  }
  return {rss, pss};
}

struct Run {
  double start_ms = -1;
  double own_rss_mb = 0, own_pss_mb = 0, all_rss_mb = 0, all_pss_mb = 0;
  size_t processes = 0;
};

Run Measure(Display* display, const std::vector<std::string>& args, const std::string& window_class,
            const std::string& log) {
  Run run;
  auto begin = Clock::now();
  pid_t pid = Spawn(args, log);
  if (pid <= 0) return run;
  auto deadline = begin + std::chrono::seconds(60);
  while (Clock::now() < deadline) {
    Window window = FindWindow(display, window_class);
    if (window != 0 && Painted(display, window)) {
      run.start_ms = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (run.start_ms >= 0) {
    std::this_thread::sleep_for(std::chrono::seconds(3));
    for (int sample = 0; sample < 4; ++sample) {
      std::vector<pid_t> family = Family(pid);
      auto own = Memory(pid);
      double rss = 0, pss = 0;
      for (pid_t p : family) {
        auto m = Memory(p);
        rss += m.first;
        pss += m.second;
      }
      run.own_rss_mb = std::max(run.own_rss_mb, own.first / 1024);
      run.own_pss_mb = std::max(run.own_pss_mb, own.second / 1024);
      run.all_rss_mb = std::max(run.all_rss_mb, rss / 1024);
      run.all_pss_mb = std::max(run.all_pss_mb, pss / 1024);
      run.processes = std::max(run.processes, family.size());
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
  }
  Stop(pid);
  return run;
}

void Report(const char* name, const std::vector<Run>& runs) {
  auto pick = [&](double Run::*field) {
    std::vector<double> v;
    for (const Run& r : runs) v.push_back(r.*field);
    return Median(v);
  };
  size_t processes = 0;
  for (const Run& r : runs) processes = std::max(processes, r.processes);
  std::printf(
      "%-18s start-to-painted %7.0f ms | at rest: own RSS %6.1f MB PSS %6.1f MB | "
      "with its %zu child process(es) RSS %6.1f MB PSS %6.1f MB\n",
      name, pick(&Run::start_ms), pick(&Run::own_rss_mb), pick(&Run::own_pss_mb),
      processes > 0 ? processes - 1 : 0, pick(&Run::all_rss_mb), pick(&Run::all_pss_mb));
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "login_window_start: no display (run it under xvfb-run)\n");
    return 2;
  }
  fs::path bench_dir = fs::canonical("/proc/self/exe").parent_path();
  std::string plain = (bench_dir / "plain_gtk_window").string();
  std::string dist = OMBRIX_DIST_DIR;
  if (!fs::exists(dist + "/OBHost.exe")) {
    std::fprintf(stderr, "login_window_start: no %s/OBHost.exe\n", dist.c_str());
    return 2;
  }

  char pattern[] = "/tmp/ombrix-login-bench-XXXXXX";
  std::string state = mkdtemp(pattern);
  std::string port_file = state + "/web.port";
  pid_t web =
      Spawn({"python3", std::string(OMBRIX_SOURCE_DIR) + "/standin/web/web_standin.py", "--port",
             "0", "--demo-user", "--data-dir", state + "/web-data", "--port-file", port_file},
            state + "/web.out");
  for (int i = 0; i < 100 && ReadAll(port_file).empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::string port = ReadAll(port_file);
  port.erase(port.find_last_not_of(" \n") + 1);
  if (port.empty()) {
    std::fprintf(stderr, "login_window_start: the web stand-in did not start\n");
    Stop(web);
    return 2;
  }
  for (const char* name : {"pipes", "locks", "registry", "home", "config", "tmp"})
    fs::create_directories(state + "/" + name);
  setenv("OMBRIX_PIPE_DIR", (state + "/pipes").c_str(), 1);
  setenv("OMBRIX_LOCK_DIR", (state + "/locks").c_str(), 1);
  setenv("OMBRIX_REGISTRY_DIR", (state + "/registry").c_str(), 1);
  setenv("HOME", (state + "/home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (state + "/config").c_str(), 1);
  setenv("TMPDIR", (state + "/tmp").c_str(), 1);
  setenv("OMBRIX_SHELL", "record", 1);
  unsetenv("OMBRIX_UI");

  std::vector<Run> client, baseline;
  for (int i = 0; i < runs; ++i) {
    // A fresh copy each time: the first start of an install is the one
    // measured, never one that found a previous run's state.
    std::string install = state + "/install";
    fs::remove_all(install);
    fs::copy(dist, install, fs::copy_options::recursive);
    fs::remove_all(install + "/Log");
    std::ofstream(install + "/OBVerCustom.ini")
        << "GameId=other\nKey=OB-DEMO\nKeyDesc=Ombrix demo "
           "edition\nInstallHook=0\nGlobalConfig=http://127.0.0.1:"
        << port << "/\n";
    fs::remove_all(state + "/registry");
    fs::create_directories(state + "/registry");
    client.push_back(
        Measure(display, {install + "/OBHost.exe", "--gui"}, "OBLoginWnd", state + "/host.err"));
    baseline.push_back(
        Measure(display, {plain, "380", "300"}, "PlainGtkWindow", state + "/plain.err"));
    if (client.back().start_ms < 0)
      std::fprintf(stderr, "run %d: no login window (%s)\n", i + 1,
                   ReadAll(state + "/host.err").c_str());
  }
  std::printf("median of %d runs, the client and a plain GTK window started the same way:\n", runs);
  Report("OBHost.exe", client);
  Report("plain GTK window", baseline);
  auto starts = [](const std::vector<Run>& of) {
    std::vector<double> v;
    for (const Run& r : of) v.push_back(r.start_ms);
    return Median(v);
  };
  std::printf("start time, client over plain window: %.2f\n", starts(client) / starts(baseline));
  Stop(web);
  XCloseDisplay(display);
  fs::remove_all(state);
  return 0;
}
