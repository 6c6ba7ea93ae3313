#pragma once

#include <cstdint>

#include "runtime/io/reactor_stream_service.h"

namespace brx::io::ipc {

// The common part of both pipe ends: a read thread (an epoll reactor) that
// reassembles frames into the message queue, and a write thread that
// writes framed messages whole and in order, each connection with its own
// bounded queue.
//
// Threads: OnIO and the derived callbacks run on the read thread; Send may
// be called from any thread. The owner starts and stops the service;
// derived classes must call Stop() in their own destructor, because the
// read thread calls their virtual operations.
class IPCServiceBase : public ReactorStreamService {
 public:
  // Pipe buffer size: the size of each read and of a new reassembly buffer.
  static constexpr uint32_t kBufferSize = 0x100000;
  // The largest raw video frame a game may push: 3840 x 2160 pixels of 3
  // bytes, with room for the fields of its message.
  static constexpr uint32_t kLargestVideoFrame = 3840u * 2160u * 3u;
  // Frames longer than this close the connection (with a log line).
  static constexpr uint32_t kMaxFrameLength = kLargestVideoFrame + 4096;

  IPCServiceBase();
  ~IPCServiceBase() override;

  // Starts the read thread, then the write thread; true when both run.
  bool Start() { return StartThreads(); }

 protected:
  // Gives a connected pipe the out buffer of the buffer size (as far as the
  // system allows), so a video frame mostly goes out in one call.
  static void SizeBuffers(int fd);

  IOMonitorService& read_service() { return reactor(); }
};

}  // namespace brx::io::ipc
