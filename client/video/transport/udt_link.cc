#include "client/video/transport/udt_link.h"

#include "client/video/transport/ob_logic_interact_video_transfer_udt_client.h"
#include "client/video/transport/ob_logic_interact_video_transfer_udt_server.h"
#include "client/video/transport/peer_messages.h"

UdtLink::UdtLink(VideoTransferOwner* owner, uint32_t main_thread_id, uint32_t message_id,
                 const std::wstring& id)
    : context_(owner, main_thread_id, message_id, id) {}

UdtLink::~UdtLink() { Close(); }

bool UdtLink::InitialServer(uint16_t port) {
  if (server_ || client_) return false;
  server_ = std::make_unique<OBLogicInteract_VideoTransferUDT_Server>(&context_);
  return server_->Initial(port);
}

bool UdtLink::InitialClient(uint16_t port) {
  if (server_ || client_) return false;
  client_ = std::make_unique<OBLogicInteract_VideoTransferUDT_Client>(&context_);
  return client_->Initial(port);
}

void UdtLink::Connect(const std::string& peer_ip, uint16_t peer_port) {
  if (client_) client_->Connect(peer_ip, peer_port);
}

bool UdtLink::Send(const NetMessage_Interact& message) {
  if (client_) {
    if (!client_->IsConnected()) return false;
    return client_->SendMessage(client_->connection(), message.data(), message.size());
  }
  if (server_) {
    const brx::io::ConnectionId peer = server_->accepted();
    if (peer == 0 || server_->PeerClosed()) return false;
    return server_->SendMessage(peer, message.data(), message.size());
  }
  return false;
}

void UdtLink::DispatchMessages() {
  if (server_) server_->DispatchMessages();
  if (client_) client_->DispatchMessages();
}

void UdtLink::Close() {
  context_.MarkClosing();
  if (server_) server_->Stop();
  if (client_) client_->Stop();
  server_.reset();
  client_.reset();
}

uint16_t UdtLink::local_port() const {
  if (server_) return server_->local_port();
  if (client_) return client_->local_port();
  return 0;
}
