// Delivers the adapters' input messages to the core's window procedure. Messages are
// dropped while no procedure is attached (before start-up wiring and during teardown).
#pragma once

#include <cstdint>

#include "platform/Message.h"

namespace vocara::platform::qt {

class MessageRouter {
 public:
  void SetSink(MessageSink* sink) { sink_ = sink; }
  bool HasSink() const { return sink_ != nullptr; }
  std::intptr_t Send(int view, const Message& message) {
    return sink_ != nullptr ? sink_->Dispatch(view, message) : 0;
  }

 private:
  MessageSink* sink_ = nullptr;
};

}  // namespace vocara::platform::qt
