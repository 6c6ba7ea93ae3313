#include "uninstaller/program/console_uninstall_view.h"

#include <memory>

#include "runtime/base/quit_signal_watcher.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/util/text_convert.h"
#include "uninstaller/installation_guard.h"
#include "uninstaller/uninstall_removal.h"
#include "uninstaller/uninstall_report.h"

namespace {

constexpr uint32_t kRemovalFinished = brx::base::WM_USER + 1;
// The report has its own 10 s time-outs; a little more covers the rest.
constexpr int kReportWaitMs = 12000;

std::string ReadAnswer(FILE* in) {
  char line[256];
  if (!fgets(line, sizeof line, in)) return "cancel";
  std::string answer = line;
  while (!answer.empty() &&
         (answer.back() == '\n' || answer.back() == '\r' || answer.back() == ' '))
    answer.pop_back();
  return answer;
}

// Hands the removal's events to the page's thread as messages, each path
// in a string owned by the message.
class PostingSink : public IRemovalSink {
 public:
  explicit PostingSink(uint32_t thread_id) : thread_id_(thread_id) {}
  void OnRemoval(Event event, const std::string& path) override {
    brx::base::PostOwnedMessage(thread_id_, 0, event, std::make_unique<std::string>(path));
  }
  void OnFinished() override { brx::base::PostThreadMessage(thread_id_, kRemovalFinished, 0, 0); }

 private:
  const uint32_t thread_id_;
};

}  // namespace

ConsoleUninstallView::ConsoleUninstallView(std::string edition_key, std::string folder,
                                           std::wstring version, std::string report_base)
    : key_(std::move(edition_key)),
      folder_(std::move(folder)),
      version_(std::move(version)),
      report_base_(std::move(report_base)) {}

int ConsoleUninstallView::Run(FILE* in, FILE* out) {
  fprintf(out,
          "卸载翎岚\n将从您的计算机中删除翎岚\n警告:删除翎岚,将一同删除存放截图的文件夹\n"
          "提示:如需再次使用翎岚,请到翎岚官方网站下载\n");
  if (ConfirmOnPageOne(in, out)) RemoveOnPageTwo(out);
  fflush(out);
  return 0;
}

bool ConsoleUninstallView::ConfirmOnPageOne(FILE* in, FILE* out) {
  while (true) {
    fprintf(out, "[卸载 = uninstall] [取消 = cancel]\n");
    fflush(out);
    std::string answer = ReadAnswer(in);
    if (answer == "cancel") return false;
    if (answer != "uninstall") continue;
    switch (FindRunningProgram(key_)) {
      case RunningProgram::kClient:
        fprintf(out, "提示: 卸载程序检测到翎岚正在运行,请退出翎岚后重试\n");
        continue;
      case RunningProgram::kGame:
        fprintf(out, "提示: 卸载程序检测到游戏正在运行,请退出游戏后重试\n");
        continue;
      case RunningProgram::kNone:
        break;
    }
    fprintf(out, "警告: 卸载翎岚,将会删除游戏截图,确认删除? [ok] [cancel]\n");
    fflush(out);
    return ReadAnswer(in) == "ok";
  }
}

void ConsoleUninstallView::RemoveOnPageTwo(FILE* out) {
  // From here on a quit request waits: the removal is not cut in half.
  brx::base::BlockQuitSignals();
  fprintf(out, "翎岚卸载...\n");
  fflush(out);
  brx::base::ThreadMessageQueue queue;
  PostingSink sink(queue.thread_id());
  UninstallRemoval removal(folder_, key_, &sink);
  UninstallReport report(report_base_, version_, brx::util::Utf8ToWide(key_));
  removal.Start();
  report.Start();
  brx::base::Message msg;
  while (brx::base::GetMessage(&msg)) {
    if (msg.message == kRemovalFinished) break;
    if (msg.message < IRemovalSink::kFileDeleted || msg.message > IRemovalSink::kFolderFailed)
      continue;
    std::unique_ptr<std::string> path = brx::base::TakeMessagePayload<std::string>(msg.wParam);
    if (!path) continue;
    fprintf(out, "%s\n",
            RemovalListLine(static_cast<IRemovalSink::Event>(msg.message), *path).c_str());
    fflush(out);
  }
  removal.Stop();
  report.WaitForEnd(kReportWaitMs);
  report.Stop();
  fprintf(out, "完成\n");
}
