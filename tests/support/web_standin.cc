#include "tests/support/web_standin.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <jsoncpp/json/json.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

namespace ombrix::test {

std::string QueryEscape(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (isalnum(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

namespace {

// A loaded machine (a full parallel test run) can take many seconds to
// start Python; a slow start is not a failure of the code under test.
constexpr std::chrono::seconds kStartLimit(30);

std::string Find(const std::vector<std::pair<std::string, std::string>>& list,
                 const std::string& key, bool nocase, bool* found) {
  for (const auto& [k, v] : list) {
    if (nocase ? strcasecmp(k.c_str(), key.c_str()) == 0 : k == key) {
      if (found) *found = true;
      return v;
    }
  }
  if (found) *found = false;
  return std::string();
}

std::vector<std::pair<std::string, std::string>> Pairs(const Json::Value& array) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& pair : array)
    if (pair.isArray() && pair.size() == 2)
      out.emplace_back(pair[0].asString(), pair[1].asString());
  return out;
}

}  // namespace

bool WebRequest::HasParam(const std::string& key) const {
  bool found;
  Find(params, key, false, &found);
  return found;
}
std::string WebRequest::Param(const std::string& key) const {
  return Find(params, key, false, nullptr);
}
std::vector<std::string> WebRequest::ParamKeys() const {
  std::vector<std::string> keys;
  for (const auto& p : params) keys.push_back(p.first);
  return keys;
}
bool WebRequest::HasHeader(const std::string& name) const {
  bool found;
  Find(headers, name, true, &found);
  return found;
}
std::string WebRequest::Header(const std::string& name) const {
  return Find(headers, name, true, nullptr);
}

WebStandin::WebStandin() : WebStandin(Options()) {}

WebStandin::WebStandin(Options options) : netns_(options.netns), host_ip_(options.host) {
  data_dir_ = dir_.Sub("data");
  log_path_ = dir_.Sub("requests.log");
  std::string port_file = dir_.Sub("port");
  std::string script = SourceDir() + "/standin/web/web_standin.py";
  std::vector<std::string> args = {"python3",    script,    "--host",        host_ip_,
                                   "--port",     "0",       "--port-file",   port_file,
                                   "--data-dir", data_dir_, "--request-log", log_path_};
  if (options.demo_user) args.push_back("--demo-user");
  for (const auto& a : options.extra_args) args.push_back(a);
  args = InNetns(netns_, std::move(args));
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  std::string out = dir_.Sub("stdout.log");
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid;
  int rc = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return;
  pid_ = pid;
  bool up = WaitUntil(
      [&] {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
          pid_ = -1;
          return true;
        }
        return PathExists(port_file);
      },
      kStartLimit);
  if (up && pid_ > 0) port_ = atoi(ReadFile(port_file).c_str());
}

WebStandin::~WebStandin() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
}

std::string WebStandin::host() const { return host_ip_ + ":" + std::to_string(port_); }
std::string WebStandin::base_url() const { return "http://" + host(); }

std::string WebStandin::GscXml() const {
  std::string h = host();
  return "<Node>\n"
         "  <ClientInterfaceServer><Rule><Server>" +
         h +
         "</Server></Rule></ClientInterfaceServer>\n"
         "  <ImageStorageServer><Rule><Server>" +
         h +
         "</Server></Rule></ImageStorageServer>\n"
         "  <DCServer><Rule><Server>" +
         h +
         "</Server></Rule></DCServer>\n"
         "  <IceServer><Rule><Server>127.0.0.1:19000</Server></Rule></IceServer>\n"
         "</Node>\n";
}

std::string WebStandin::Control(const std::string& action, const std::string& query,
                                const std::string& body) {
  if (!port_) return std::string();
  int fd = SocketInNetns(netns_, AF_INET, SOCK_STREAM | SOCK_CLOEXEC);
  if (fd < 0) return std::string();
  timeval tv{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port_));
  inet_pton(AF_INET, host_ip_.c_str(), &addr.sin_addr);
  std::string reply;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    std::string request = std::string(body.empty() ? "GET" : "POST") + " /__control/" + action +
                          (query.empty() ? "" : "?" + query) + " HTTP/1.0\r\nHost: " + host() +
                          "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    size_t sent = 0;
    while (sent < request.size()) {
      ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    char buf[8192];
    ssize_t n;
    while ((n = recv(fd, buf, sizeof buf, 0)) > 0) reply.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  size_t split = reply.find("\r\n\r\n");
  return split == std::string::npos ? std::string() : reply.substr(split + 4);
}

std::vector<WebRequest> WebStandin::Requests() const {
  std::vector<WebRequest> out;
  std::ifstream in(log_path_);
  std::string line;
  Json::CharReaderBuilder builder;
  while (std::getline(in, line)) {
    Json::Value v;
    std::string errors;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    if (!reader->parse(line.data(), line.data() + line.size(), &v, &errors))
      continue;  // a line being written
    WebRequest r;
    r.method = v["method"].asString();
    r.path = v["path"].asString();
    r.query = v["query"].asString();
    r.command = v["command"].asString();
    r.params = Pairs(v["params"]);
    r.headers = Pairs(v["headers"]);
    r.body_length = v["body_length"].asUInt64();
    r.body_sha256 = v["body_sha256"].asString();
    out.push_back(std::move(r));
  }
  return out;
}

std::vector<WebRequest> WebStandin::RequestsFor(const std::string& command) const {
  std::vector<WebRequest> out;
  for (auto& r : Requests())
    if (r.command == command) out.push_back(std::move(r));
  return out;
}

std::vector<WebRequest> WebStandin::RequestsTo(const std::string& path) const {
  std::vector<WebRequest> out;
  for (auto& r : Requests())
    if (r.path == path) out.push_back(std::move(r));
  return out;
}

std::string WebStandin::StoredDump(const std::string& name) const {
  const std::string path = data_dir_ + "/dumps/" + name;
  if (!WaitUntil([&] { return PathExists(path); })) return "";
  return ReadFile(path);
}

bool WebStandin::WaitForRequests(const std::string& command_or_path, size_t count,
                                 std::chrono::milliseconds timeout) const {
  bool by_path = !command_or_path.empty() && command_or_path[0] == '/';
  return WaitUntil(
      [&] {
        return (by_path ? RequestsTo(command_or_path) : RequestsFor(command_or_path)).size() >=
               count;
      },
      timeout);
}

}  // namespace ombrix::test
