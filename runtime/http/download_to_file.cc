#include "runtime/http/download_to_file.h"

#include <curl/curl.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "runtime/http/url_escape.h"

namespace brx::http {

namespace {

constexpr char kPartSuffix[] = ".part-XXXXXX";

// The temporary file, removed unless it was renamed onto the target.
class TempFile {
 public:
  explicit TempFile(const std::string& target) : path_(target + kPartSuffix) {
    // mkstemp makes it private, and it stays so: downloads land in the
    // program folder, whose run-time files only the user reads.
    int fd = mkstemp(path_.data());
    if (fd < 0) return;
    file_ = fdopen(fd, "wb");
    if (!file_) close(fd);
  }
  ~TempFile() {
    if (file_) fclose(file_);
    if (!committed_ && !path_.empty()) unlink(path_.c_str());
  }
  FILE* file() const { return file_; }
  bool CommitAs(const std::string& target) {
    bool flushed = fflush(file_) == 0 && fsync(fileno(file_)) == 0;
    bool closed = fclose(file_) == 0;
    file_ = nullptr;
    if (!flushed || !closed || rename(path_.c_str(), target.c_str()) != 0) return false;
    committed_ = true;
    return true;
  }

 private:
  std::string path_;
  FILE* file_ = nullptr;
  bool committed_ = false;
};

size_t WriteToFile(char* data, size_t size, size_t count, void* user) {
  return fwrite(data, size, count, static_cast<FILE*>(user)) * size;
}

}  // namespace

bool DownloadToFile(const std::string& url, const std::string& path, const DownloadOptions& options,
                    DownloadResult* result) {
  DownloadResult local;
  DownloadResult& out = result ? *result : local;
  out = DownloadResult();
  EnsureCurlInitialized();
  if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0) {
    out.error = CURLE_UNSUPPORTED_PROTOCOL;
    return false;
  }
  TempFile temp(path);
  if (!temp.file()) {
    out.error = CURLE_WRITE_ERROR;
    return false;
  }
  CURL* easy = curl_easy_init();
  if (!easy) {
    out.error = CURLE_FAILED_INIT;
    return false;
  }
  std::string address = EscapeUrlForTransfer(url);
  curl_easy_setopt(easy, CURLOPT_URL, address.c_str());
  curl_easy_setopt(easy, CURLOPT_PROXY, "");
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &WriteToFile);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, temp.file());
  out.error = RunTransfer(easy, options.limits, options.abort, options.progress);
  long status = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
  out.http_status = static_cast<int>(status);
  curl_easy_cleanup(easy);
  if (out.error == CURLE_OK && status >= 400) out.error = CURLE_HTTP_RETURNED_ERROR;
  if (out.error != CURLE_OK) return false;
  if (!temp.CommitAs(path)) {
    out.error = CURLE_WRITE_ERROR;
    return false;
  }
  return true;
}

void RemoveDownloadLeftovers(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  std::string prefix = path.substr(slash == std::string::npos ? 0 : slash + 1) + ".part-";
  size_t length = prefix.size() + sizeof kPartSuffix - sizeof ".part-";
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.size() != length || name.compare(0, prefix.size(), prefix) != 0) continue;
    struct stat st {};
    std::string leftover = folder + "/" + name;
    if (lstat(leftover.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) unlink(leftover.c_str());
  }
  closedir(dir);
}

}  // namespace brx::http
