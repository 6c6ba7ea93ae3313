#include "client/host/headless_user_interface.h"

#include "runtime/logmaker/log.h"
#include "runtime/util/text_convert.h"

void HeadlessUserInterface::ShowMessageBox(const wchar_t* text, const wchar_t* caption) {
  if (!text) text = L"";
  if (!caption) caption = L"";
  LogWarn(L"MessageBox[%ls]%ls\n", caption, text);
  std::string line = brx::util::WideToUtf8(caption) + ": " + brx::util::WideToUtf8(text) + "\n";
  fputs(line.c_str(), err_);
  fflush(err_);
}

void HeadlessUserInterface::CreateMainWindows(OBApplication*) {}

bool HeadlessUserInterface::TranslateMessage(const brx::base::Message&) { return false; }

void HeadlessUserInterface::DispatchMessage(const brx::base::Message&) {}

void HeadlessUserInterface::DestroyTrayWindow() {}
