// How often idle worker threads of the thread base wake up: three message
// loops with nothing to do (as the web client's three workers sit between
// requests) and one holding a task due in a second. Prints the wake-ups
// per second of each, read from the kernel's context switch counters.
//
//   idle_wakeups [seconds]    (default 5)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "runtime/base/message_loop.h"
#include "runtime/base/task.h"

namespace {

long ContextSwitches(uint32_t tid) {
  std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/status");
  std::string line;
  long total = 0;
  while (std::getline(in, line))
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
        line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
      total += std::stol(line.substr(line.find(':') + 1));
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
  if (seconds <= 0) seconds = 5;
  std::vector<std::unique_ptr<brx::base::MessageLoop>> loops;
  for (const char* name : {"idle.1", "idle.2", "idle.3", "delayed"})
    loops.push_back(std::make_unique<brx::base::MessageLoop>(name));
  auto task = std::make_unique<brx::base::Task>("Noop");
  task->delay_ms = 1000;
  loops.back()->PostTask(std::move(task));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // let them settle

  std::vector<long> before;
  for (auto& loop : loops) before.push_back(ContextSwitches(loop->GetThreadId()));
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  double total = 0;
  for (size_t i = 0; i < loops.size(); ++i) {
    double rate =
        static_cast<double>(ContextSwitches(loops[i]->GetThreadId()) - before[i]) / seconds;
    total += rate;
    std::printf("%-8s %6.1f wake-ups/s\n", loops[i]->name().c_str(), rate);
  }
  std::printf("total    %6.1f wake-ups/s over %d s\n", total, seconds);
  return 0;
}
