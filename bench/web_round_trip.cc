// Times one web command round trip through the job framework (post on the
// main thread, HTTP on the worker, result back through kWebJobsFinished, event
// fired) against the command-line curl doing the same request, both on
// the same local web stand-in in the same run, and prints the ratio.
//
//   web_round_trip [requests]    (default 300)

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_process.h"
#include "client/core/event_chain.h"
#include "client/core/event_ids.h"
#include "client/core/message_ids.h"
#include "client/web/ob_logic_web_other.h"
#include "client/web/web_logic_manager.h"
#include "runtime/base/thread.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/util/text_convert.h"

namespace {

using bench::ReadAll;
using bench::Spawn;

using Clock = std::chrono::steady_clock;

}  // namespace

int main(int argc, char** argv) {
  int requests = argc > 1 ? atoi(argv[1]) : 300;
  char tmpl[] = "/tmp/ombrix-bench-XXXXXX";
  std::string dir = mkdtemp(tmpl);
  std::string port_file = dir + "/port";
  pid_t standin = Spawn({"python3", std::string(OMBRIX_SOURCE_DIR) + "/standin/web/web_standin.py", "--port", "0",
                         "--port-file", port_file, "--data-dir", dir + "/data"},
                        dir + "/standin.log");
  if (standin < 0) {
    fprintf(stderr, "cannot start python3\n");
    return 1;
  }
  auto deadline = Clock::now() + std::chrono::seconds(10);
  while (access(port_file.c_str(), F_OK) != 0 && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));  // waiting for a child process to come up
  std::string host = "127.0.0.1:" + std::to_string(atoi(ReadAll(port_file).c_str()));
  {
    std::ofstream gsc(dir + "/gsc");
    gsc << "<Node><ClientInterfaceServer><Rule><Server>" << host << "</Server></Rule></ClientInterfaceServer></Node>";
  }

  brx::base::ThreadMessageQueue queue;
  EventChain chain;
  int replies = 0;
  int failures = 0;
  chain.Subscribe(SEVENT_RESPONSE_GetServerDateTime, [&](const EventParameter*) { ++replies; });
  WebLogicOptions options;
  options.program_folder = brx::util::Utf8ToWide(dir);
  WebLogicManager manager(&chain, options);
  manager.Start(brx::base::CurrentThreadId());

  auto round_trip = [&] {
    int before = replies;
    manager.Other().GetServerDateTime();
    brx::base::Message msg;
    while (replies == before) {
      if (!queue.Get(&msg)) break;
      if (msg.message == ombrix::messages::kWebJobsFinished) manager.DispatchFinishedJobs();
    }
  };
  for (int i = 0; i < 20; ++i) round_trip();  // warm-up
  replies = 0;
  auto start = Clock::now();
  for (int i = 0; i < requests; ++i) round_trip();
  double ours_ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  failures = requests - replies;
  manager.Stop();

  // curl: the same POST, headers and gzip, all requests from one process
  // (one connection each, as the stand-in closes after every reply).
  std::string config = dir + "/curl.cfg";
  {
    std::ofstream cfg(config);
    cfg << "silent\nrequest = \"POST\"\nheader = \"Accept-Encoding: gzip\"\nheader = \"Content-Type:\"\n";
    for (int i = 0; i < requests; ++i)
      cfg << "url = \"http://" << host
          << "/ClientInterface.axd?CommandName=GetServerDateTime&Interface=Other&SerializationType=Json&random_ticket="
          << i << "&zip=gzip\"\noutput = \"/dev/null\"\n";
  }
  start = Clock::now();
  pid_t curl = Spawn({"curl", "--config", config}, dir + "/curl.log");
  int status = 0;
  if (curl > 0) waitpid(curl, &status, 0);
  double curl_ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();

  kill(standin, SIGTERM);
  waitpid(standin, nullptr, 0);
  std::string cleanup = "rm -rf '" + dir + "'";
  if (system(cleanup.c_str()) != 0) fprintf(stderr, "could not remove %s\n", dir.c_str());

  if (curl <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fprintf(stderr, "curl failed\n");
    return 1;
  }
  printf("web command round trip, %d requests on loopback (failures: %d)\n", requests, failures);
  printf("  job framework: %8.3f ms per request\n", ours_ms / requests);
  printf("  curl:          %8.3f ms per request\n", curl_ms / requests);
  printf("  ratio (framework / curl): %.2f\n", ours_ms / curl_ms);
  return failures == 0 ? 0 : 1;
}
