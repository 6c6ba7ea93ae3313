#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/core/shot_catalogue.h"
#include "client/ui/picture/picture_item.h"
#include "client/ui/picture/picture_window_host.h"
#include "uilib/winsys/window_wnd.h"

// What the picker and album tests (headless and on a display) put around
// the two windows: a main frame that keeps what is chosen, a question that
// waits for the test's answer, and the catalogue of a store folder.
namespace ombrix::test {

// Stands in for the main frame: keeps a copy of every chosen picture.
class FrameWindow : public uilib::CWindowWnd {
 public:
  uilib::LPCTSTR GetWindowClassName() const override { return L"OBTestFrame"; }
  uilib::LRESULT HandleMessage(uilib::UINT msg, uilib::WPARAM wparam,
                               uilib::LPARAM lparam) override;
  std::vector<PictureItem> chosen;
};

class FakePrompt : public IConfirmPrompt {
 public:
  explicit FakePrompt(std::vector<FakePrompt*>* made) { made->push_back(this); }
  void Ask(uilib::HWND parent, const std::wstring& title, const std::wstring& text,
           std::function<void()> on_yes, std::function<void()> on_no) override;
  std::wstring asked;
  bool parent_enabled_while_asked = true;
  std::function<void()> yes, no;
};

class Host : public IPictureWindowHost, public IShotFolderSource {
 public:
  ShotCatalogue& GetShotCatalogue() override { return catalogue; }
  void GetGameIds(std::vector<std::wstring>* ids) override { *ids = game_ids; }
  std::wstring GetSkinFolder() override;
  void EnableOpener(PictureOpener opener) override { enabled.push_back(opener); }
  std::unique_ptr<IConfirmPrompt> CreateConfirmPrompt() override {
    return std::make_unique<FakePrompt>(&prompts);
  }
  std::wstring GetSnapshotDirectory() const override { return store; }
  std::wstring GetUserFolder() const override { return L"Users/All Users"; }

  ShotCatalogue catalogue;
  std::vector<std::wstring> game_ids;
  std::vector<PictureOpener> enabled;
  std::vector<FakePrompt*> prompts;
  std::wstring store;
};

// Noon of a day of March 2026, local time.
time_t Day(int day);
// A plain-coloured JPEG (folders made as needed).
void WriteJpeg(const std::string& path, int w, int h, uint32_t rgb);

}  // namespace ombrix::test
