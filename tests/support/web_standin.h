#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/test_support.h"

namespace ombrix::test {

// One request as the web stand-in logged it.
struct WebRequest {
  std::string method;
  std::string path;
  std::string query;                                         // raw, as it came on the wire
  std::string command;                                       // the CommandName parameter, or empty
  std::vector<std::pair<std::string, std::string>> params;   // decoded, in wire order
  std::vector<std::pair<std::string, std::string>> headers;  // in arrival order
  size_t body_length = 0;
  std::string body_sha256;

  bool HasParam(const std::string& key) const;
  std::string Param(const std::string& key) const;  // empty when absent
  std::vector<std::string> ParamKeys() const;
  bool HasHeader(const std::string& name) const;      // any letter case
  std::string Header(const std::string& name) const;  // empty when absent
};

// Every byte but letters and digits as %XX, for a value in a control query.
std::string QueryEscape(const std::string& text);

// The Python web stand-in (standin/web/web_standin.py) on a free loopback
// port, with its own data folder and request log, for the life of the
// object. Needs jsoncpp at link time (brx_util brings it).
class WebStandin {
 public:
  struct Options {
    bool demo_user = true;  // account "demo", password "ombrix2024", friend "buddy"
    std::vector<std::string> extra_args;
    std::string netns;               // run inside this network namespace
    std::string host = "127.0.0.1";  // listen here
  };
  WebStandin();
  explicit WebStandin(Options options);
  ~WebStandin();
  WebStandin(const WebStandin&) = delete;
  WebStandin& operator=(const WebStandin&) = delete;

  static constexpr const char* kDemoAccount = "demo";
  static constexpr const char* kDemoPassword = "ombrix2024";
  static constexpr const char* kDemoTicket = "demo-ticket";

  bool running() const { return port_ != 0; }
  int port() const { return port_; }
  std::string host() const;      // "127.0.0.1:<port>"
  std::string base_url() const;  // "http://127.0.0.1:<port>"
  const std::string& data_dir() const { return data_dir_; }
  // A "gsc" whose nodes all name this stand-in (IceServer: 127.0.0.1:19000).
  std::string GscXml() const;

  // GET (or POST with a body) /__control/<action>?<query>; the reply body,
  // empty when the request failed.
  std::string Control(const std::string& action, const std::string& query = "",
                      const std::string& body = "");
  // Shorthand for Control("fault", query).
  void Fault(const std::string& query) { Control("fault", query); }

  // Everything logged so far, oldest first.
  std::vector<WebRequest> Requests() const;
  std::vector<WebRequest> RequestsFor(const std::string& command) const;
  std::vector<WebRequest> RequestsTo(const std::string& path) const;
  // Waits until `count` requests carry the command (or, with a leading
  // "/", go to that path).
  bool WaitForRequests(const std::string& command_or_path, size_t count = 1,
                       std::chrono::milliseconds timeout = std::chrono::milliseconds(10000)) const;
  // The bytes of an uploaded crash report named `name`, waiting for it to
  // be stored (a request is on record before it is handled); empty when it
  // never is.
  std::string StoredDump(const std::string& name) const;

 private:
  TempDir dir_;
  std::string data_dir_;
  std::string log_path_;
  std::string netns_;
  std::string host_ip_;
  int pid_ = -1;
  int port_ = 0;
};

}  // namespace ombrix::test
