#include "client/host/web_frame_services.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "client/core/config_store.h"
#include "client/core/event_chain.h"
#include "client/core/shot_catalogue.h"
#include "client/web/web_logic_manager.h"
#include "runtime/util/text_convert.h"
#include "tests/support/test_support.h"
#include "uilib/backend/headless/headless_backend.h"
#include "uilib/winsys/ui_backend.h"

namespace ombrix::test {
namespace {

// What the frame's windows get on the real client: the client's own
// configuration and events, and what the composition handed in.
TEST(WebFrameServicesTest, TheWindowsGetTheClientsConfigurationEventsAndHooks) {
  uilib::HeadlessBackend::Options options;
  options.manual_clock = true;
  uilib::SetUiBackend(std::make_unique<uilib::HeadlessBackend>(options));
  TempDir dir;
  std::filesystem::create_directories(dir.Sub("Ombrix/OBSkin/other"));
  ConfigStore config(brx::util::Utf8ToWide(dir.Sub("Ombrix")), L"other");
  config.LoadSystemConfig();
  ASSERT_TRUE(config.CheckSkinAndLoadGameConfigs());
  EventChain chain;
  WebLogicManager web(&chain);
  ShotCatalogue shots;
  std::vector<std::wstring> editors;
  WebFrameServices::Links links;
  links.shots = &shots;
  links.edition_key = L"E100";
  links.login_password = [] { return std::wstring(L"cipher"); };
  links.account_site = L"https://account.example";
  links.community_site = "http://community.example/";
  links.about = {L"1.2.3", L"edition", "http://home.example/"};
  links.open_avatar_editor = [&](const std::wstring& key, const uilib::RECT& at) {
    editors.push_back(key + L"@" + std::to_wstring(at.left));
  };
  WebFrameServices services(web, config, brx::util::Utf8ToWide(dir.Sub("Ombrix")), links);

  ConfigurationDialogHost settings = services.SettingsHost();
  EXPECT_EQ(&config, settings.config);
  EXPECT_EQ(&chain, settings.events);
  EXPECT_EQ(L"E100", settings.edition_key);
  EXPECT_EQ(L"https://account.example", settings.account_site);
  ASSERT_TRUE(settings.login_password);
  EXPECT_EQ(L"cipher", settings.login_password());
  EXPECT_NE(nullptr, settings.shell);
  EXPECT_EQ(nullptr, settings.controls);  // the frame adds its own

  EXPECT_EQ(&shots, services.Shots());
  std::vector<std::wstring> ids;
  config.games().GetGameIds(&ids);
  EXPECT_EQ(ids, services.GameIds());
  EXPECT_EQ(L"1.2.3", services.AboutInfo().version);
  EXPECT_EQ(nullptr, services.CurrentUser());  // nobody signed in

  services.OpenAvatarEditor(L"key", uilib::RECT{35, 0, 100, 100});
  EXPECT_EQ(std::vector<std::wstring>{L"key@35"}, editors);
  services.OpenCommunitySite();
  auto opened = uilib::HeadlessBackend::Current()->recording_shell().requests();
  ASSERT_FALSE(opened.empty());
  EXPECT_EQ("http://community.example/", opened.back().target);

  // Without the links nothing is opened and nothing fails.
  WebFrameServices bare(web, config, L"", {});
  EXPECT_EQ(nullptr, bare.Shots());
  size_t before = uilib::HeadlessBackend::Current()->recording_shell().requests().size();
  bare.OpenCommunitySite();
  bare.OpenAvatarEditor(L"key", uilib::RECT{});
  EXPECT_EQ(before, uilib::HeadlessBackend::Current()->recording_shell().requests().size());
}

}  // namespace
}  // namespace ombrix::test
