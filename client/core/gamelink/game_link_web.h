#pragma once

#include <cstdint>
#include <string>

#include "client/core/event_parameter.h"

// The web commands beyond the user's own (those are IWebUser's) that the
// game command handlers start; their replies come as
// the web payloads of the event chain. The web logic lives above the core,
// so the application supplies this; without it every command does nothing.
// GUI thread only.
class IGameLinkWebCommands {
 public:
  virtual ~IGameLinkWebCommands() = default;

  // Uploads a screenshot; the reply event (SEVENT_RESPONSE_Upload) names
  // the file and, on success, the stored image's address.
  virtual void Upload(const std::wstring& local_file, uint32_t timeout_ms,
                      const FromHandle& origin) = 0;
  virtual void AddBlog(const std::wstring& content, const std::wstring& post_from,
                       const std::wstring& image_url, const std::wstring& game_id,
                       const FromHandle& origin) = 0;
  // The screenshot statistics: id-24 messages and new images since the
  // last report.
  virtual void CommitShot(uint32_t shot_messages, uint32_t new_images) = 0;
};

// No web client: nothing is sent, so no reply comes.
class NullGameLinkWebCommands : public IGameLinkWebCommands {
 public:
  void Upload(const std::wstring&, uint32_t, const FromHandle&) override {}
  void AddBlog(const std::wstring&, const std::wstring&, const std::wstring&, const std::wstring&,
               const FromHandle&) override {}
  void CommitShot(uint32_t, uint32_t) override {}
};
