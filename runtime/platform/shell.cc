#include "runtime/platform/shell.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>

#include "runtime/platform/atomic_file.h"
#include "runtime/platform/dirs.h"
#include "runtime/platform/process.h"
#include "runtime/platform/user_dirs.h"

namespace brx::platform {

namespace {

// How long we wait for the short-lived shell that puts xdg-open in the
// background; it only forks, so this is never reached in practice.
constexpr int kLauncherWaitMs = 5000;

class DesktopShell : public Shell {
 public:
  bool OpenUrl(const std::string& url) override { return Open(url); }
  bool OpenFile(const std::string& path) override { return Open(path); }

 private:
  // The target travels as an argument, never inside the script text, so an
  // address with quotes or `$` cannot run anything.
  static bool Open(const std::string& target) {
    if (target.empty()) return false;
    SpawnOptions options;
    options.path = "/bin/sh";
    options.args = {"-c", "xdg-open \"$1\" >/dev/null 2>&1 </dev/null &", "sh", target};
    std::unique_ptr<ChildProcess> child = ChildProcess::Spawn(options);
    int status = 0;
    return child && child->Wait(kLauncherWaitMs, &status) && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
  }
};

// Desktop entry quoting: a word with a blank or a reserved character is
// double-quoted, and `"`, `` ` ``, `$` and `\` inside it are escaped.
std::string QuoteExecWord(const std::string& word) {
  bool plain = !word.empty();
  for (char c : word) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '"' || c == '\'' || c == '\\' || c == '>' ||
        c == '<' || c == '~' || c == '|' || c == '&' || c == ';' || c == '$' || c == '*' ||
        c == '?' || c == '#' || c == '(' || c == ')' || c == '`' || c == '%') {
      plain = false;
    }
  }
  if (plain) return word;
  std::string out = "\"";
  for (char c : word) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
    if (c == '%') out += '%';
    out += c;
  }
  return out + "\"";
}

std::vector<std::string> SplitExec(const std::string& value) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false, quoted = false;
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (c == '%' && i + 1 < value.size() && value[i + 1] == '%') {
      word += '%';
      ++i;
      in_word = true;
    } else if (quoted) {
      if (c == '\\' && i + 1 < value.size()) {
        word += value[++i];
      } else if (c == '"') {
        quoted = false;
      } else {
        word += c;
      }
    } else if (c == '"') {
      quoted = in_word = true;
    } else if (c == ' ' || c == '\t') {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(word);
  return words;
}

// The key file format escapes a backslash as two before the Exec rules
// apply; these two undo each other.
std::string EscapeValue(const std::string& value) {
  std::string out;
  for (char c : value) {
    if (c == '\\') out += '\\';
    out += c;
  }
  return out;
}

std::string UnescapeValue(const std::string& value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    char next = value[++i];
    out += next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
  }
  return out;
}

std::string SingleLine(const std::string& text) {
  std::string out;
  for (char c : text) out += (c == '\n' || c == '\r') ? ' ' : c;
  return out;
}

}  // namespace

std::unique_ptr<Shell> CreateDesktopShell() { return std::make_unique<DesktopShell>(); }

bool RecordingShell::OpenUrl(const std::string& url) {
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.push_back({Request::Kind::kUrl, url});
  return true;
}

bool RecordingShell::OpenFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.push_back({Request::Kind::kFile, path});
  return true;
}

std::vector<RecordingShell::Request> RecordingShell::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

bool WriteDesktopEntry(const std::string& path, const DesktopEntry& entry) {
  if (path.empty() || entry.exec.empty()) return false;
  std::string exec = QuoteExecWord(entry.exec);
  for (const std::string& arg : entry.args) exec += " " + QuoteExecWord(arg);
  std::string text = "[Desktop Entry]\nType=Application\nName=" + SingleLine(entry.name) +
                     "\nExec=" + EscapeValue(exec) + "\n";
  if (!entry.working_directory.empty())
    text += "Path=" + SingleLine(entry.working_directory) + "\n";
  if (!entry.icon.empty()) text += "Icon=" + SingleLine(entry.icon) + "\n";
  if (!entry.comment.empty()) text += "Comment=" + SingleLine(entry.comment) + "\n";
  return WriteFileAtomically(path, text, 0755);
}

std::vector<std::string> ReadDesktopEntryCommand(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, 5, "Exec=") == 0) return SplitExec(UnescapeValue(line.substr(5)));
  }
  return {};
}

std::string DesktopFolder() { return XdgUserDirectory("DESKTOP"); }

std::string ApplicationsFolder() {
  const char* data = getenv("XDG_DATA_HOME");
  std::string base = (data && *data == '/') ? data : HomeDirectory() + "/.local/share";
  return base + "/applications";
}

}  // namespace brx::platform
