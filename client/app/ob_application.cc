#include "client/app/ob_application.h"

#include <signal.h>
#include <tinyxml.h>

#include <cerrno>
#include <locale>
#include <stdexcept>

#include "client/app/hook_daemon.h"
#include "client/app/user_interface_host.h"
#include "client/core/ui_string_table.h"
#include "runtime/base/thread.h"
#include "runtime/logmaker/log.h"
#include "runtime/platform/dirs.h"
#include "runtime/platform/event.h"
#include "runtime/platform/process.h"
#include "runtime/platform/single_instance_lock.h"
#include "runtime/platform/system_info.h"
#include "runtime/platform/tick_clock.h"
#include "runtime/util/edition.h"
#include "runtime/util/edition_registry.h"
#include "runtime/util/module_path.h"
#include "runtime/util/process_util.h"
#include "runtime/util/text_convert.h"

namespace {

constexpr char kInstanceLockName[] = "Global\\OBHOST_MUTEX";

std::unique_ptr<OBApplication>& TheApplication() {
  static std::unique_ptr<OBApplication> app;
  return app;
}

std::wstring ProgramFolderOr(const std::wstring& folder) {
  return folder.empty() ? brx::util::GetModuleDirectory(nullptr) : folder;
}

// The launcher, the uninstaller and the hook daemon find the installation
// through these values, below both hives.
void WriteEditionValues(const std::wstring& key, const std::wstring& program_folder) {
  for (const wchar_t* root : {brx::util::kLocalMachineRoot, brx::util::kCurrentUserRoot})
    brx::util::WriteEditionValues(brx::util::EditionRegistryPath(root, key), program_folder, key);
}

bool HasRequiredFont() { return brx::platform::HasChineseFont(); }

}  // namespace

OBApplication::OBApplication(UserInterfaceHost* ui, Options options)
    : program_folder_(ProgramFolderOr(options.program_folder)),
      logic_(program_folder_),
      ui_(ui),
      gui_thread_id_(brx::base::CurrentThreadId()),
      daemon_connect_timeout_ms_(options.daemon_connect_timeout_ms) {
  brx::util::LoadEditionLibrary();
  TiXmlBase::SetCondenseWhiteSpace(false);
  try {
    std::locale::global(std::locale(""));
  } catch (const std::runtime_error&) {
    // The user's locale is not installed; the classic one stays.
  }
  install_hook_ = brx::util::GetEditionInstallHook();

  if (install_hook_) daemon_connected_ = std::make_unique<brx::platform::Event>();
  if (!options.compose_parts) return;
  AppParts parts = options.compose_parts(*this);
  logic_.SetWebLogic(std::move(parts.web_logic));
  logic_.SetVideoChat(std::move(parts.video_chat));
  logic_.SetGameLink(std::move(parts.game_link));
  if (install_hook_) daemon_ipc_ = std::move(parts.daemon_link);
}

OBApplication::~OBApplication() {
  // The daemon link goes before the event it sets.
  StopDaemonLink();
  daemon_ipc_.reset();
  daemon_connected_.reset();
  if (daemon_) daemon_->Signal(SIGTERM);
}

OBApplication* OBApplication::Get() { return TheApplication().get(); }

void OBApplication::DestroyApplication() { TheApplication().reset(); }

bool OBApplication::InitialApplication(UserInterfaceHost* ui, const std::string& command_line,
                                       Options options) {
  if (command_line.find("--gui") == std::string::npos) return false;
  // There is no COM to initialise here, and no per-program firewall list:
  // the exception call only keeps the order of start-up.
  brx::util::AddFirewallException(brx::util::Utf8ToWide(brx::platform::ExecutablePath()));
  TheApplication() = std::make_unique<OBApplication>(ui, std::move(options));
  OBApplication* app = Get();
  if (command_line.find("--GPK") != std::string::npos ||
      command_line.find("--TW") != std::string::npos)
    app->hidden_login_ = true;
  if (!app->Initial()) {
    LogError(L"%ls:%d:OBApplication::Initial() failed!\n", L"OBApplication::InitialApplication",
             420);
    app->AbandonStart();
    DestroyApplication();
    return false;
  }
  return true;
}

bool OBApplication::Initial() {
  std::wstring key = brx::util::GetEditionKey();
  if (key.empty()) {
    LogWarnA("Empty key[%d]\n", errno);
    return false;
  }
  WriteEditionValues(key, program_folder_);

  // The lock comes before the logic, so that a second start never serves
  // (or takes over) the running client's pipes.
  switch (brx::platform::SingleInstanceLock::Acquire(kInstanceLockName, &instance_lock_)) {
    case brx::platform::SingleInstanceLock::Result::kAcquired:
      break;
    case brx::platform::SingleInstanceLock::Result::kAlreadyHeld:
      ui_->ShowMessageBox(UIStringTable::GetString(STRING_MESSAGE_OMBRIXISRUNNING),
                          UIStringTable::GetString(STRING_MESSAGE_TIP));
      return false;
    case brx::platform::SingleInstanceLock::Result::kFailed:
      // As when the mutex cannot be created: the client runs unguarded.
      LogWarnA("%s:%d:cannot create the single-instance lock %s\n", "OBApplication::Initial",
               __LINE__, brx::platform::LockFilePath(kInstanceLockName).c_str());
      break;
  }

  if (!logic_.Start(gui_thread_id_, &events_)) return false;
  logic_started_ = true;

  if (!HasRequiredFont()) {
    LogWarnA("%s:%d:can not find font(MSYH.TTF or SIMSUN.TTC)\n", "OBApplication::Initial", 174);
    ui_->ShowMessageBox(UIStringTable::GetString(STRING_MESSAGE_NONEEDFONT),
                        UIStringTable::GetString(STRING_MESSAGE_ERROR));
    return false;
  }

  if (!install_hook_) return true;
  return StartHookDaemon();
}

bool OBApplication::StartHookDaemon() {
  if (!daemon_ipc_) {
    LogWarnA("%s:%d:the hook daemon is required but this build has no daemon pipe server\n",
             "OBApplication::Initial", __LINE__);
    return false;
  }
  daemon_ipc_started_ = true;
  if (!daemon_ipc_->Start()) return false;

  std::wstring path = HookDaemonPath(program_folder_);
  StopStaleHookDaemons(path);
  daemon_ = SpawnHookDaemon(path, program_folder_);
  if (!daemon_) return false;
  if (!WaitForDaemonConnection()) {
    LogWarn(L"WaitForSingleObject %ls failed\n", path.c_str());
    return false;
  }
  return true;
}

bool OBApplication::WaitForDaemonConnection() {
  // A daemon that has ended can never connect: waiting out the rest of the
  // time-out would only delay the same failure.
  constexpr int kSliceMs = 100;
  uint32_t start = brx::platform::GetTickCount();
  while (true) {
    uint32_t spent = brx::platform::GetTickCount() - start;
    if (spent >= static_cast<uint32_t>(daemon_connect_timeout_ms_))
      return daemon_connected_->Wait(0);
    int left = daemon_connect_timeout_ms_ - static_cast<int>(spent);
    if (daemon_connected_->Wait(left < kSliceMs ? left : kSliceMs)) return true;
    if (daemon_->HasExited()) return daemon_connected_->Wait(0);
  }
}

void OBApplication::AbandonStart() {
  if (logic_started_) logic_.Abandon();
  logic_started_ = false;
  StopDaemonLink();
  ReleaseInstanceLock();
}

void OBApplication::StopDaemonLink() {
  if (daemon_ipc_started_) daemon_ipc_->Stop();
  daemon_ipc_started_ = false;
}

void OBApplication::ReleaseInstanceLock() { instance_lock_.reset(); }

int OBApplication::daemon_process_id() const { return daemon_ ? daemon_->pid() : 0; }
