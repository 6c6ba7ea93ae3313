#pragma once

#include <cstdint>
#include <list>
#include <string>

#include "client/core/gamelink/game_command_block.h"
#include "runtime/io/queued_message.h"

class ConfigStore;
class IGameLinkWebCommands;
class IWebUser;
class OBLogicGameCommand;

// Sign-in, sign-out and blog posts from inside a game, and the account
// news the games show. A post with a screenshot waits as a pending post
// until its upload returns; then the blog entry is added with the stored
// image's address, and the game hears the result. Every post is answered:
// one whose upload fails (or cannot be sent, or is cancelled by a
// sign-out) gets a failure with its picture; one whose game leaves is
// dropped with it.
//
// GUI thread only. Owned by the game link server; the pending posts go when
// it stops, and a reply that comes later finds nothing to answer.
class OBLogicGameWeb : public GameCommandBlock {
 public:
  static constexpr uint32_t kUploadTimeoutMs = 15000;

  OBLogicGameWeb(OBLogicGameCommand& server, EventChain& chain, ConfigStore& config, IWebUser& user,
                 IGameLinkWebCommands& web);

  void Start() override;
  void Stop() override;

  size_t PendingPostCountForTesting() const { return pending_.size(); }

 private:
  struct PendingPost {
    brx::io::ConnectionId connection;
    std::wstring text;
    std::wstring image_path;
  };

  void OnLogin(brx::io::ConnectionId sender, const uint8_t* message, uint32_t length);
  void OnTicketLogin(brx::io::ConnectionId sender, const uint8_t* message, uint32_t length);
  void OnRequestLogin(brx::io::ConnectionId sender, const uint8_t* message, uint32_t length);
  void OnLogout(brx::io::ConnectionId sender, const uint8_t* message, uint32_t length);
  void OnSetNickName(brx::io::ConnectionId sender, const uint8_t* message, uint32_t length);
  void OnPostBlog(brx::io::ConnectionId sender, const uint8_t* message, uint32_t length);

  void OnUserLogin(const EventParameter* event);
  void OnUserLoginByTicket(const EventParameter* event);
  void OnUserLogout(const EventParameter* event);
  void OnUploaded(const EventParameter* event);
  void OnBlogAdded(const EventParameter* event);
  void OnDataPrompt(const EventParameter* event);
  void OnUserAccount(const EventParameter* event);
  void OnServerTime(const EventParameter* event);
  void OnGameDetach(const EventParameter* event);

  // LOGIN, USERINFO and the new user's settings to every game.
  void AnnounceSignIn(uint8_t login_kind, const std::wstring& account);
  // The text of a post whose game left it empty, in the user's language.
  static std::wstring DefaultPostText(const std::wstring& display_name);

  OBLogicGameCommand& server_;
  ConfigStore& config_;
  IWebUser& user_;
  IGameLinkWebCommands& web_;
  std::list<PendingPost> pending_;  // in arrival order
};
