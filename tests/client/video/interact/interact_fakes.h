#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "client/core/event_chain.h"
#include "client/core/video_events.h"
#include "client/video/interact/interact_host.h"
#include "client/video/signalling/ice_signalling.h"

namespace ombrix::test {

inline std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

// A signalling client that only records what it was asked, one line per
// call ("Reply inv-1 alice 0"), and whose state the test sets. Like the
// real one, it sends (records) invitations, replies, hang-ups and relay
// requests only while logged in.
class FakeSignalling : public ice::IceSignalling {
 public:
  void set_main_thread_id(uint32_t) override {}
  void set_message_id(uint32_t) override {}
  bool Initial() override { return true; }
  void Login(const std::wstring& host, int port, const std::wstring& sid,
             const std::wstring& account, const std::wstring& name) override {
    Add("Login " + Narrow(host) + " " + std::to_string(port) + " " + Narrow(sid) + " " +
        Narrow(account) + " " + Narrow(name));
  }
  int Logout() override {
    Add("Logout");
    state_now = 0;
    return 0;
  }
  void Rename(const std::wstring& name) override { Add("Rename " + Narrow(name)); }
  void KeepAliveTick() override {}
  void GetOnlineFriend(int page, int size) override {
    Add("GetOnlineFriend " + std::to_string(page) + " " + std::to_string(size));
  }
  void Invite(const std::wstring& payload, const std::wstring& id,
              const std::wstring& account) override {
    if (state_now != 2) return;
    last_payload = payload;
    Add("Invite " + Narrow(id) + " " + Narrow(account));
  }
  void Reply(const std::wstring& id, const std::wstring& target, int result,
             const std::wstring& payload) override {
    if (state_now != 2) return;
    last_payload = payload;
    Add("Reply " + Narrow(id) + " " + Narrow(target) + " " + std::to_string(result));
  }
  void Hangup(const std::wstring& target, const std::wstring& id) override {
    if (state_now != 2) return;
    Add("Hangup " + Narrow(target) + " " + Narrow(id));
  }
  void RelayInvite(const std::wstring& id, const std::wstring& target) override {
    if (state_now != 2) return;
    Add("RelayInvite " + Narrow(id) + " " + Narrow(target));
  }
  void StartStunUac(const std::wstring& target, const std::wstring& id) override {
    Add("StartStunUac " + Narrow(target) + " " + Narrow(id));
  }
  void StartStunUas(const std::wstring& id, const std::wstring&, const std::wstring& target,
                    int32_t, int32_t, const std::wstring&, int32_t) override {
    Add("StartStunUas " + Narrow(id) + " " + Narrow(target));
  }
  bool DispatchEvents() override { return true; }
  int32_t state() const override { return state_now; }

  size_t Count(const std::string& line) const {
    size_t n = 0;
    for (const auto& l : calls) n += l == line;
    return n;
  }
  void Add(std::string line) { calls.push_back(std::move(line)); }

  int32_t state_now = 2;
  std::vector<std::string> calls;
  std::wstring last_payload;
};

class FakeHost : public InteractHost {
 public:
  InteractUser CurrentUser() const override { return user; }
  std::wstring IceServerAddress() const override { return L"http://127.0.0.1:9000"; }
  std::string HeadIconCacheFolder() const override { return cache; }
  void StartHeadIconDownload(const std::wstring& url, const std::wstring& path) override {
    downloads.push_back({Narrow(url), Narrow(path)});
  }
  InteractUser user;
  std::string cache;
  std::vector<std::pair<std::string, std::string>> downloads;
};

// The video events fired on a chain, one line each ("47 inv-1 4"), from
// any thread; decoded frames are counted and the last one kept whole.
class EventLog {
 public:
  explicit EventLog(EventChain* chain) : chain_(chain) {
    for (int id : {41, 44, 45, 46, 47, 48, 49, 50}) {
      handles_.push_back(chain->Subscribe(id, [this](const EventParameter* p) { Record(p); }));
    }
  }
  ~EventLog() {
    for (auto h : handles_) chain_->Unsubscribe(h);
  }
  std::vector<std::string> lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  size_t Count(const std::string& line) const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = 0;
    for (const auto& l : lines_) n += l == line;
    return n;
  }
  // Decoded frames so far, and the last one (only that one is kept: a
  // call at full size makes 6 MB of them many times a second).
  size_t frame_count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frame_count_;
  }
  std::vector<uint8_t> last_frame() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return last_frame_;
  }
  std::vector<OnlineFriendInfo> friends;

 private:
  void Record(const EventParameter* p) {
    std::string line = std::to_string(p->event_id);
    switch (p->event_id) {
      case SEVENT_VIDEO_INVITE: {
        auto* e = static_cast<const payload::SEVENT_VIDEO_INVITE*>(p);
        line += " " + Narrow(e->id) + " " + Narrow(e->inviter_name) + " " +
                std::to_string(e->sends_video);
        break;
      }
      case SEVENT_VIDEO_REPLY: {
        auto* e = static_cast<const payload::SEVENT_VIDEO_REPLY*>(p);
        line += " " + Narrow(e->id) + " " + std::to_string(e->result);
        break;
      }
      case SEVENT_VIDEO_STOP:
        line += " " + Narrow(static_cast<const payload::SEVENT_VIDEO_STOP*>(p)->id);
        break;
      case SEVENT_VIDEO_READY:
        line += " " + Narrow(static_cast<const payload::SEVENT_VIDEO_READY*>(p)->id);
        break;
      case SEVENT_VIDEO_STREAM: {
        auto* e = static_cast<const payload::SEVENT_VIDEO_STREAM*>(p);
        std::lock_guard<std::mutex> lock(mutex_);
        ++frame_count_;
        last_frame_.assign(e->bytes, e->bytes + e->size);
        return;
      }
      case SEVENT_GETONLINEFRIEND: {
        auto* e = static_cast<const payload::SEVENT_GETONLINEFRIEND*>(p);
        friends = *e->friends;
        line += " " + std::to_string(e->record_count) + " " + std::to_string(e->friends->size());
        break;
      }
      case SEVENT_GETONLINEFRIENDHEADICON:
        line += " " + Narrow(static_cast<const payload::SEVENT_GETONLINEFRIENDHEADICON*>(p)->url);
        break;
      case SEVENT_KICKOUT:
        line += " " + Narrow(static_cast<const payload::SEVENT_KICKOUT*>(p)->new_public_ip);
        break;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(line);
  }

  EventChain* chain_;
  std::vector<EventChain::Handle> handles_;
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  size_t frame_count_ = 0;
  std::vector<uint8_t> last_frame_;
};

}  // namespace ombrix::test
