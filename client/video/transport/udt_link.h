#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "client/video/transport/video_link_context.h"

class NetMessage_Interact;
class OBLogicInteract_VideoTransferUDT_Server;
class OBLogicInteract_VideoTransferUDT_Client;

// A session's direct link: the sending side listens (server), the
// receiving side connects (client), both on the port the binding punched.
//
// Threads: made, initialised, drained and closed on the main thread; Send
// may be called from any thread as long as the owner keeps the link alive
// meanwhile (the session marks it in use). The destructor closes.
class UdtLink {
 public:
  UdtLink(VideoTransferOwner* owner, uint32_t main_thread_id, uint32_t message_id,
          const std::wstring& id);
  ~UdtLink();
  UdtLink(const UdtLink&) = delete;
  UdtLink& operator=(const UdtLink&) = delete;

  // Listens on `port` (0: any free port from 3000); false on failure.
  bool InitialServer(uint16_t port);
  // Binds `port` (0: any free port) for a later Connect; false on failure.
  bool InitialClient(uint16_t port);
  // Connects the client to the peer, after the client's connect delay.
  void Connect(const std::string& peer_ip, uint16_t peer_port);

  // On the client when it is connected, else on the server's accepted
  // peer; false when neither is there (the message is dropped).
  bool Send(const NetMessage_Interact& message);
  // Hands what the transports received to the owner.
  void DispatchMessages();
  // Stops both transports (no notices from here on) and frees them. Safe
  // twice.
  void Close();

  // The listening or bound port, 0 before Initial.
  uint16_t local_port() const;
  OBLogicInteract_VideoTransferUDT_Server* server() const { return server_.get(); }
  OBLogicInteract_VideoTransferUDT_Client* client() const { return client_.get(); }

 private:
  VideoLinkContext context_;
  std::unique_ptr<OBLogicInteract_VideoTransferUDT_Server> server_;
  std::unique_ptr<OBLogicInteract_VideoTransferUDT_Client> client_;
};
