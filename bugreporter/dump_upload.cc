#include "bugreporter/dump_upload.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <memory>

#include "runtime/http/http_session.h"
#include "runtime/http/url_builder.h"
#include "runtime/util/file_util.h"
#include "runtime/util/text_convert.h"

namespace {

constexpr uint32_t kTimeoutMs = 20000;
constexpr size_t kChunk = 16384;

// The text between the first `open` and the first `close` after it.
bool Between(const std::string& text, const std::string& open, const std::string& close,
             std::string* out) {
  size_t start = text.find(open);
  if (start == std::string::npos) return false;
  start += open.size();
  size_t end = text.find(close, start);
  if (end == std::string::npos) return false;
  *out = text.substr(start, end - start);
  return true;
}

}  // namespace

bool FindImageStorageServer(const std::string& config_text, std::string* host) {
  std::string element;
  return Between(config_text, "<ImageStorageServer>", "</ImageStorageServer>", &element) &&
         Between(element, "<Server>", "</Server>", host);
}

std::string DumpPathFromArguments(int argc, char** argv) {
  std::string path;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) path += ' ';
    path += argv[i];
  }
  while (!path.empty() && path.back() == '"') path.pop_back();
  size_t first = path.find_first_not_of('"');
  return first == std::string::npos ? "" : path.substr(first);
}

bool CompressDump(const std::string& dump_path, std::string* compressed) {
  std::unique_ptr<FILE, int (*)(FILE*)> in(fopen(dump_path.c_str(), "rb"), fclose);
  if (!in) return false;
  std::string gz_path = dump_path + ".gz";
  // The compressed copy holds what the report holds: the user's only.
  int fd = open(gz_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  fchmod(fd, 0600);
  gzFile out = gzdopen(fd, "wb6 ");
  if (!out) {
    close(fd);
    return false;
  }
  char buf[kChunk];
  while (true) {
    size_t n = fread(buf, 1, sizeof buf, in.get());
    // A read error or a short write ends the copy; what was written is sent.
    if (n == 0 || gzwrite(out, buf, static_cast<unsigned>(n)) != static_cast<int>(n)) break;
  }
  gzclose(out);
  bool ok = brx::util::ReadWholeFile(brx::util::Utf8ToWide(gz_path), compressed);
  if (ok) unlink(gz_path.c_str());
  return ok;
}

bool UploadDump(const std::string& dump_path, const brx::http::AbortSignal& abort) {
  std::string config;
  const wchar_t* config_file = brx::util::IsGscTestPresent() ? L"gsc.test" : L"gsc";
  if (!brx::util::ReadWholeFile(config_file, &config)) return false;
  std::string server;
  if (!FindImageStorageServer(config, &server)) return false;
  std::string compressed;
  if (dump_path.empty() || !CompressDump(dump_path, &compressed)) return false;

  std::string gz_name = dump_path + ".gz";
  gz_name = gz_name.substr(gz_name.rfind('/') + 1);
  brx::http::UrlBuilder url;
  url.base = L"http://" + brx::util::AnsiToWide(server);
  url.path = L"UploadFileDMP.ashx";
  url.SetParam(L"fileName", brx::util::Utf8ToWide(gz_name));

  brx::http::HttpSession session;
  session.SetTimeouts(kTimeoutMs, kTimeoutMs, kTimeoutMs, kTimeoutMs);
  session.SetAbortSignal(abort);
  if (!session.Open(brx::util::WideToUtf8(url.GetUrl(true)))) return false;
  return session.SendRequest(compressed.data(), compressed.size());
}
