#pragma once

#include "runtime/base/message_loop.h"

namespace ice {

class IceClient;

// The "ice.IceStun" loop on which the signalling client's binding tasks run,
// one after another. A task reaches the client (its event queue and the
// addresses it copied) through client(). Owned by the client; the loop
// stops, and deletes tasks not yet run, when it is destroyed.
class IceStun : public brx::base::MessageLoop {
 public:
  explicit IceStun(IceClient* client) : MessageLoop("ice.IceStun"), client_(client) {}
  IceClient* client() const { return client_; }

 private:
  IceClient* const client_;
};

}  // namespace ice
