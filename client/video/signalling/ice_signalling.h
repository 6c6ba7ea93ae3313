#pragma once

#include <cstdint>
#include <string>

namespace ice {

// What the video-chat logic asks of its signalling client; IceClient is
// the one there is, a test puts its own in its place. Main thread only.
class IceSignalling {
 public:
  virtual ~IceSignalling() = default;

  virtual void set_main_thread_id(uint32_t thread_id) = 0;
  virtual void set_message_id(uint32_t message_id) = 0;
  virtual bool Initial() = 0;
  virtual void Login(const std::wstring& host, int port, const std::wstring& session_id,
                     const std::wstring& account, const std::wstring& name) = 0;
  virtual int Logout() = 0;
  virtual void Rename(const std::wstring& name) = 0;
  virtual void KeepAliveTick() = 0;
  virtual void GetOnlineFriend(int page, int page_size) = 0;
  virtual void Invite(const std::wstring& payload, const std::wstring& id,
                      const std::wstring& account) = 0;
  virtual void Reply(const std::wstring& id, const std::wstring& target, int result,
                     const std::wstring& payload) = 0;
  virtual void Hangup(const std::wstring& target, const std::wstring& id) = 0;
  virtual void RelayInvite(const std::wstring& id, const std::wstring& target) = 0;
  virtual void StartStunUac(const std::wstring& target, const std::wstring& id) = 0;
  virtual void StartStunUas(const std::wstring& id, const std::wstring& peer_private_ip,
                            const std::wstring& target, int32_t port_type,
                            int32_t peer_private_port, const std::wstring& peer_public_ip,
                            int32_t peer_public_port) = 0;
  virtual bool DispatchEvents() = 0;
  virtual int32_t state() const = 0;
};

}  // namespace ice
