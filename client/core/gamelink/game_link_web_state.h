#pragma once

#include <array>
#include <cstdint>
#include <string>

// What the game link reads of the signed-in user. The web logic lives
// above the core, so the application supplies this; without it nobody is
// signed in. GUI thread only.
class IGameLinkWebState {
 public:
  virtual ~IGameLinkWebState() = default;

  virtual bool IsSignedIn() const = 0;
  // 0 signed in with account and password, 1 with a ticket.
  virtual uint8_t GetLoginKind() const = 0;
  virtual bool HasNickName() const = 0;
  // Below the screenshot store: "Users/<account>" while signed in, else
  // "Users/All Users".
  virtual std::wstring GetUserFolder() const = 0;
  // The four new-item counters: new mirror-blog, new about-user blog, new
  // message, new fans.
  virtual std::array<int32_t, 4> GetDataPromptCounters() const = 0;
};

// The state while no web logic is attached: nobody signed in.
class SignedOutWebState : public IGameLinkWebState {
 public:
  bool IsSignedIn() const override { return false; }
  uint8_t GetLoginKind() const override { return 0; }
  bool HasNickName() const override { return false; }
  std::wstring GetUserFolder() const override { return L"Users/All Users"; }
  std::array<int32_t, 4> GetDataPromptCounters() const override { return {0, 0, 0, 0}; }
};
