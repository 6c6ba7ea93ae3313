#include "client/video/transport/relay_link.h"

#include "client/video/transport/peer_messages.h"
#include "client/video/transport/tcp_service_client_manager_video_transfer.h"

RelayLink::RelayLink(VideoTransferOwner* owner, uint32_t main_thread_id, uint32_t message_id,
                     const std::wstring& id)
    : context_(owner, main_thread_id, message_id, id) {}

RelayLink::~RelayLink() { Close(); }

bool RelayLink::Initial() {
  if (client_) return false;
  client_ = std::make_unique<TCPServiceClientManager_VideoTransfer>(&context_);
  return client_->Initial();
}

void RelayLink::Connect(const std::string& relay_ip, uint16_t relay_port) {
  if (client_) client_->Connect(relay_ip, relay_port);
}

bool RelayLink::Send(const NetMessage_Interact& message) {
  if (!client_ || !client_->IsConnected() || client_->PeerClosed()) return false;
  return client_->SendMessage(client_->connection(), message.data(), message.size());
}

void RelayLink::DispatchMessages() {
  if (client_) client_->DispatchMessages();
}

void RelayLink::Close() {
  context_.MarkClosing();
  if (!client_) return;
  client_->Close();
  client_->Stop();
  client_.reset();
}
