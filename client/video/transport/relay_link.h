#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "client/video/transport/video_link_context.h"

class NetMessage_Interact;
class TCPServiceClientManager_VideoTransfer;

// A session's link through the relay: one TCP connection that the relay
// pairs with the peer's.
//
// Threads: made, initialised, drained and closed on the main thread; Send
// may be called from any thread as long as the owner keeps the link alive
// meanwhile (the session marks it in use). Close (and the destructor) shuts the
// connection, stops the service and releases the socket.
class RelayLink {
 public:
  RelayLink(VideoTransferOwner* owner, uint32_t main_thread_id, uint32_t message_id,
            const std::wstring& id);
  ~RelayLink();
  RelayLink(const RelayLink&) = delete;
  RelayLink& operator=(const RelayLink&) = delete;

  // Makes the TCP client and starts its threads; false on failure (errno
  // tells why).
  bool Initial();
  void Connect(const std::string& relay_ip, uint16_t relay_port);
  // Only while connected; false when the message is dropped.
  bool Send(const NetMessage_Interact& message);
  void DispatchMessages();
  void Close();

  TCPServiceClientManager_VideoTransfer* client() const { return client_.get(); }

 private:
  VideoLinkContext context_;
  std::unique_ptr<TCPServiceClientManager_VideoTransfer> client_;
};
