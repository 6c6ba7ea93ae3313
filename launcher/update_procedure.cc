#include "launcher/update_procedure.h"

#include <sys/stat.h>
#include <unistd.h>

#include "launcher/install_file_ops.h"
#include "launcher/patch_installer.h"
#include "launcher/version_manifest.h"
#include "runtime/logmaker/log.h"
#include "runtime/platform/dirs.h"
#include "runtime/platform/tick_clock.h"
#include "runtime/util/file_util.h"
#include "runtime/util/edition_registry.h"
#include "runtime/util/registry.h"
#include "runtime/util/text_convert.h"

namespace {

// The staged files a patch may bring. Both spellings of the launcher's
// own update are known to exist.
constexpr const char* kStagedUpdates[] = {"ombrix.exe.update", "Ombrix.exe.update",
                                          "OBVerCustom.dll.update"};

bool Download(const std::string& url, const std::string& path, IUpdateHost* host,
              IUpdateHost::Phase phase) {
  brx::http::DownloadResult result;
  if (brx::http::DownloadToFile(url, path, host->BeginDownload(phase), &result)) return true;
  LogWarnA("URLDownloadToFile %s failed[0x%x]\n", url.c_str(), static_cast<unsigned>(result.error));
  unlink(path.c_str());
  return false;
}

// Puts a waiting edition library in place; the main client does the same
// at its start, so a failure here only defers it.
void ApplyStagedEditionLibrary(const LauncherConfig& config) {
  std::string staged = config.ProgramFile("OBVerCustom.dll.update");
  std::string library = config.ProgramFile("OBVerCustom.dll");
  struct stat st {
  }, existing{};
  if (stat(staged.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  bool replaces = lstat(library.c_str(), &existing) == 0;
  if (ReplaceFileWith(staged, library, InstalledMode(replaces ? &existing : nullptr, st.st_mode)))
    unlink(staged.c_str());
}

}  // namespace

UpdateOutcome RunUpdateProcedure(const LauncherConfig& config, const EditionIdentity& edition,
                                 IUpdateHost* host) {
  UpdateOutcome outcome;
  std::string copy = config.ManifestCopyPath();
  // With no private folder there is no copy, and the name would be "/...".
  // What a launcher killed during an earlier attempt left goes too:
  // nothing else would ever remove it.
  if (!config.temp_folder.empty()) {
    unlink(copy.c_str());
    brx::http::RemoveDownloadLeftovers(copy);
  }
  brx::http::RemoveDownloadLeftovers(config.PatchArchivePath());
  unlink(config.PatchArchivePath().c_str());
  std::string url = config.manifest_url + "?tick=" + std::to_string(brx::platform::GetTickCount());
  host->SetTip(L"翎岚检查版本中...");
  if (config.temp_folder.empty() || !Download(url, copy, host, IUpdateHost::kManifest))
    return outcome;

  std::string text;
  if (!brx::util::ReadWholeFile(brx::util::Utf8ToWide(copy), &text)) {
    LogWarnA("ReadFile %s failed[%d]\n", copy.c_str(), errno);
    return outcome;
  }
  ManifestDecision decision = ReadVersionManifest(text, edition.key, edition.version);
  if (decision.kind == ManifestDecision::Kind::kNotXml) LogWarnA("Parse %s failed\n", copy.c_str());
  if (decision.kind != ManifestDecision::Kind::kUpdate) return outcome;

  std::string mirror = ChooseMirror(decision.mirrors, brx::platform::GetTickCount());
  std::string archive = config.PatchArchivePath();
  brx::platform::MakeDirectories(config.PatchFolder(), 0755);
  host->SetTip(L"翎岚准备下载...");
  if (!Download(mirror, archive, host, IUpdateHost::kPatch)) return outcome;

  host->SetTip(L"翎岚补丁安装中...");
  PatchFolders folders{config.program_folder, config.ExtractFolder(), config.BackupFolder(),
                       brx::logmaker::AppLogPath(false)};
  outcome.installed = InstallPatch(archive, folders, config.patch_cap_bytes);
  if (!outcome.installed) {
    for (const char* staged : kStagedUpdates) unlink(config.ProgramFile(staged).c_str());
    unlink(archive.c_str());
    LogWarnA("PatchFile %s failed!\n", archive.c_str());
  }
  outcome.processed = true;
  host->SetPhase(IUpdateHost::kProcessed);
  unlink(archive.c_str());
  ApplyStagedEditionLibrary(config);

  if (outcome.installed) {
    outcome.version = decision.version;
    std::wstring version = brx::util::Utf8ToWide(decision.version);
    std::wstring key = brx::util::Utf8ToWide(edition.key);
    for (const wchar_t* root : {brx::util::kLocalMachineRoot, brx::util::kCurrentUserRoot})
      brx::util::WriteRegistryString(brx::util::EditionRegistryPath(root, key), version,
                                     L"Version");
  }
  return outcome;
}
