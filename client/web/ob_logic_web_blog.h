#pragma once

#include <cstdint>
#include <string>

#include "client/core/event_parameter.h"

struct JoberDescReturn_Web;
class WebLogicManager;

// Screenshot upload and blog posts (events 18 and 19). A post or an
// upload that cannot be sent (nobody signed in, no server known) or that a
// sign-out cancels before it ran still answers with its reply event, ok 0
// and the unknown-error text, so a waiting game or window is never left
// hanging. Main thread only.
class OBLogicWeb_Blog {
 public:
  void SetManager(WebLogicManager* manager) { manager_ = manager; }

  // "AddBlog" with the image address an upload returned (or empty).
  void AddBlog(const std::wstring& content, const std::wstring& post_from,
               const std::wstring& image_url, const std::wstring& game_id,
               const FromHandle& origin);
  // Posts the file's bytes to the image storage server's "UploadFile.axd";
  // event 18 carries the stored image's address.
  void Upload(const std::wstring& local_file, uint32_t timeout_ms, const FromHandle& origin);

 private:
  void OnAddBlogReply(const JoberDescReturn_Web* result);
  void OnUploadReply(const JoberDescReturn_Web* result);

  WebLogicManager* manager_ = nullptr;
};
