#include "runtime/platform/registry_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <tinyxml.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "runtime/platform/atomic_file.h"
#include "runtime/platform/dirs.h"

namespace brx::platform::registry {

namespace {

const char* HiveShortName(Hive hive) {
  switch (hive) {
    case Hive::kClassesRoot:
      return "HKCR";
    case Hive::kCurrentUser:
      return "HKCU";
    case Hive::kLocalMachine:
      return "HKLM";
    case Hive::kUsers:
      return "HKU";
  }
  return "HKU";
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::vector<std::string> SplitKey(const std::string& key) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : key) {
    if (c == '\\') {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  return parts;
}

TiXmlElement* FindChild(TiXmlElement* parent, const char* tag, const std::string& name) {
  for (TiXmlElement* e = parent->FirstChildElement(tag); e; e = e->NextSiblingElement(tag)) {
    const char* n = e->Attribute("name");
    if (n && EqualsNoCase(n, name)) return e;
  }
  return nullptr;
}

// Walks to the key; creates missing levels when `create` is set.
TiXmlElement* FindKey(TiXmlElement* root, const std::string& key, bool create) {
  TiXmlElement* node = root;
  for (const std::string& part : SplitKey(key)) {
    TiXmlElement* next = FindChild(node, "key", part);
    if (!next) {
      if (!create) return nullptr;
      TiXmlElement element("key");
      element.SetAttribute("name", part);
      next = node->InsertEndChild(element)->ToElement();
    }
    node = next;
  }
  return node;
}

// The hive file is replaced by rename, so the lock lives on its own file.
class HiveLock {
 public:
  HiveLock(Hive hive, bool exclusive) {
    std::string dir = RegistryDirectory();
    if (dir.empty()) return;
    fd_ = open((dir + "/" + HiveShortName(hive) + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC,
               0600);
    if (fd_ < 0) return;
    while (flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0) {
      if (errno != EINTR) {
        close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~HiveLock() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Loads the hive; a missing file is an empty hive, an unreadable one fails.
bool LoadHive(Hive hive, TiXmlDocument* doc) {
  std::string path = HiveFilePath(hive);
  if (access(path.c_str(), F_OK) != 0) {
    doc->InsertEndChild(TiXmlDeclaration("1.0", "UTF-8", ""));
    TiXmlElement root("registry");
    root.SetAttribute("hive", HiveShortName(hive));
    doc->InsertEndChild(root);
    return true;
  }
  return doc->LoadFile(path.c_str(), TIXML_ENCODING_UTF8) && doc->RootElement();
}

bool SaveHive(Hive hive, TiXmlDocument* doc) {
  TiXmlPrinter printer;
  doc->Accept(&printer);
  return WriteFileAtomically(HiveFilePath(hive), printer.Str(), 0600);
}

bool Read(Hive hive, const std::function<bool(TiXmlElement* root)>& reader) {
  HiveLock lock(hive, false);
  if (!lock.ok()) return false;
  TiXmlDocument doc;
  if (!LoadHive(hive, &doc)) return false;
  return reader(doc.RootElement());
}

// `change` returns whether it changed anything; only then is the hive
// saved. `after_save`, when given, runs while the hive is still locked, so
// what it mirrors follows the hive's order of writes.
bool Modify(Hive hive, const std::function<bool(TiXmlElement* root)>& change,
            const std::function<bool()>& after_save = nullptr) {
  HiveLock lock(hive, true);
  if (!lock.ok()) return false;
  TiXmlDocument doc;
  if (!LoadHive(hive, &doc)) return false;
  if (!change(doc.RootElement())) return false;
  if (!SaveHive(hive, &doc)) return false;
  return !after_save || after_save();
}

bool IsRunKey(Hive hive, const std::string& key, const std::string& name) {
  if (hive != Hive::kCurrentUser && hive != Hive::kLocalMachine) return false;
  return EqualsNoCase(name, "Ombrix") &&
         EqualsNoCase(key, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
}

std::string DesktopExec(const std::string& command) {
  // A bare path is quoted; a command that already carries quotes is kept.
  if (!command.empty() && command.front() == '"') return command;
  std::string out = "\"";
  for (char c : command) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

bool MirrorAutostart(bool present, const std::string& command) {
  std::string dir = AutostartDirectory();
  if (dir.empty()) return false;
  std::string path = dir + "/Ombrix.desktop";
  if (!present) return unlink(path.c_str()) == 0 || errno == ENOENT;
  return WriteFileAtomically(path, "[Desktop Entry]\nType=Application\nName=Ombrix\nExec=" +
                                       DesktopExec(command) + "\nX-GNOME-Autostart-enabled=true\n");
}

bool WriteValue(Hive hive, const std::string& key, const std::string& name, const char* type,
                const std::string& data) {
  std::function<bool()> mirror;
  if (IsRunKey(hive, key, name)) mirror = [&] { return MirrorAutostart(true, data); };
  return Modify(
      hive,
      [&](TiXmlElement* root) {
        TiXmlElement* k = FindKey(root, key, true);
        TiXmlElement* v = FindChild(k, "value", name);
        if (!v) {
          TiXmlElement element("value");
          element.SetAttribute("name", name);
          v = k->InsertEndChild(element)->ToElement();
        }
        v->SetAttribute("type", type);
        v->SetAttribute("data", data);
        return true;
      },
      mirror);
}

bool ReadValue(Hive hive, const std::string& key, const std::string& name, const char* type,
               std::string* data) {
  return Read(hive, [&](TiXmlElement* root) {
    TiXmlElement* k = FindKey(root, key, false);
    TiXmlElement* v = k ? FindChild(k, "value", name) : nullptr;
    if (!v) return false;
    const char* t = v->Attribute("type");
    const char* d = v->Attribute("data");
    if (!t || !d || std::string(t) != type) return false;
    *data = d;
    return true;
  });
}

}  // namespace

std::string HiveFilePath(Hive hive) {
  std::string dir = RegistryDirectory();
  return dir.empty() ? "" : dir + "/" + HiveShortName(hive) + ".xml";
}

bool ReadString(Hive hive, const std::string& key, const std::string& name, std::string* value) {
  return ReadValue(hive, key, name, "REG_SZ", value);
}

bool ReadDword(Hive hive, const std::string& key, const std::string& name, uint32_t* value) {
  std::string data;
  if (!ReadValue(hive, key, name, "REG_DWORD", &data)) return false;
  char* end = nullptr;
  unsigned long v = strtoul(data.c_str(), &end, 10);
  if (data.empty() || *end) return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

bool WriteString(Hive hive, const std::string& key, const std::string& name,
                 const std::string& value) {
  return WriteValue(hive, key, name, "REG_SZ", value);
}

bool WriteDword(Hive hive, const std::string& key, const std::string& name, uint32_t value) {
  return WriteValue(hive, key, name, "REG_DWORD", std::to_string(value));
}

bool DeleteValue(Hive hive, const std::string& key, const std::string& name) {
  std::function<bool()> mirror;
  if (IsRunKey(hive, key, name)) mirror = [] { return MirrorAutostart(false, ""); };
  return Modify(
      hive,
      [&](TiXmlElement* root) {
        TiXmlElement* k = FindKey(root, key, false);
        TiXmlElement* v = k ? FindChild(k, "value", name) : nullptr;
        return v && k->RemoveChild(v);
      },
      mirror);
}

bool DeleteKey(Hive hive, const std::string& key) {
  if (SplitKey(key).empty()) return false;
  return Modify(hive, [&](TiXmlElement* root) {
    TiXmlElement* k = FindKey(root, key, false);
    return k && k->Parent()->RemoveChild(k);
  });
}

bool KeyExists(Hive hive, const std::string& key) {
  return Read(hive, [&](TiXmlElement* root) { return FindKey(root, key, false) != nullptr; });
}

}  // namespace brx::platform::registry
