// Times one web command round trip through the job framework (post on the
// main thread, HTTP on the worker, result back through kWebJobsFinished, event
// fired) against the command-line curl doing the same request, both on the
// same loopback server in the same run, and prints the ratio.
//
// The server answers from a reply made in advance (bench/canned_http_server.h),
// so its own time is a small part of each round trip and the figures are
// the client's; it is printed beside them (accept to close, an upper bound).
// Rounds alternate which side goes first; the medians are printed.
//
//   web_round_trip [requests per round] [rounds]    (default 300, 5)

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_process.h"
#include "bench/bench_stats.h"
#include "bench/canned_http_server.h"
#include "client/core/event_chain.h"
#include "client/core/event_ids.h"
#include "client/core/message_ids.h"
#include "client/web/ob_logic_web_other.h"
#include "client/web/web_logic_manager.h"
#include "runtime/base/thread.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/util/text_convert.h"

namespace {

using bench::Median;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// What one side took per request, and the server's part of it, in ms.
struct Side {
  std::vector<double> per_request, server;
  // Measures `run` (which makes `requests` requests) on `server`.
  template <typename Run>
  bool Measure(bench::CannedHttpServer& http, int requests, Run run) {
    uint64_t answered = http.answered();
    double busy = http.busy_seconds();
    auto start = Clock::now();
    bool ok = run();
    per_request.push_back(Ms(Clock::now() - start) / requests);
    server.push_back((http.busy_seconds() - busy) * 1000 / requests);
    return ok && http.answered() - answered == static_cast<uint64_t>(requests);
  }
};

}  // namespace

int main(int argc, char** argv) {
  int requests = argc > 1 ? std::max(1, atoi(argv[1])) : 300;
  int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
  char tmpl[] = "/tmp/ombrix-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  std::string dir = tmpl;
  // The web service's envelope of GetServerDateTime.
  bench::CannedHttpServer http(R"({"Status": 0, "Message": "", "Data": "2024-06-01 12:00:00"})");
  if (http.port() == 0) {
    fprintf(stderr, "the canned server did not start\n");
    return 1;
  }
  std::string host = "127.0.0.1:" + std::to_string(http.port());
  {
    std::ofstream gsc(dir + "/gsc");
    gsc << "<Node><ClientInterfaceServer><Rule><Server>" << host
        << "</Server></Rule></ClientInterfaceServer></Node>";
  }
  // curl: the same POST, gzip asked for and inflated, all requests of a
  // round from one process (one connection each, as the server closes
  // after every reply).
  std::string config = dir + "/curl.cfg";
  {
    std::ofstream cfg(config);
    cfg << "silent\ncompressed\nrequest = \"POST\"\nheader = \"Content-Type:\"\n";
    for (int i = 0; i < requests; ++i)
      cfg << "url = \"http://" << host
          << "/ClientInterface.axd?CommandName=GetServerDateTime&Interface=Other&SerializationType="
             "Json&random_ticket="
          << i << "&zip=gzip\"\noutput = \"/dev/null\"\n";
  }

  brx::base::ThreadMessageQueue queue;
  EventChain chain;
  int replies = 0;
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
  auto framework_round = [&] {
    int before = replies;
    for (int i = 0; i < requests; ++i) round_trip();
    return replies - before == requests;
  };
  auto curl_round = [&] {
    pid_t curl = bench::Spawn({"curl", "--config", config}, dir + "/curl.log");
    int status = 0;
    return curl > 0 && waitpid(curl, &status, 0) == curl && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
  };

  const std::string load_before = bench::LoadAverage();
  for (int i = 0; i < 20; ++i) round_trip();  // warm-up
  Side framework, curl;
  bool ok = true;
  for (int round = 0; round < rounds && ok; ++round) {
    if (round % 2 == 0) {
      ok = framework.Measure(http, requests, framework_round) &&
           curl.Measure(http, requests, curl_round);
    } else {
      ok = curl.Measure(http, requests, curl_round) &&
           framework.Measure(http, requests, framework_round);
    }
  }
  manager.Stop();
  http.Stop();
  std::string cleanup = "rm -rf '" + dir + "'";
  if (system(cleanup.c_str()) != 0) fprintf(stderr, "could not remove %s\n", dir.c_str());
  if (!ok) {
    fprintf(stderr, "a round failed (connections dropped by the server: %llu)\n",
            static_cast<unsigned long long>(http.dropped()));
    return 1;
  }

  double ours = Median(framework.per_request), theirs = Median(curl.per_request);
  double ours_server = Median(framework.server), theirs_server = Median(curl.server);
  printf(
      "web command round trip on loopback against a canned server, "
      "medians of %d rounds of %d requests\n",
      rounds, requests);
  printf("  %-15s %10s %24s\n", "", "ms/request", "server, accept to close");
  printf("  %-15s %10.3f %14.3f (%4.1f%%)\n", "job framework", ours, ours_server,
         100 * ours_server / ours);
  printf("  %-15s %10.3f %14.3f (%4.1f%%)\n", "curl", theirs, theirs_server,
         100 * theirs_server / theirs);
  printf("  ratio (framework / curl): %.2f\n", ours / theirs);
  printf("  load average: %s before, %s after\n", load_before.c_str(),
         bench::LoadAverage().c_str());
  return 0;
}
