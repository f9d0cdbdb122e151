#pragma once
// What the transfer tests need of the platform they run on: its transfer and its event loop.
#include <functional>
#include <memory>

#include "platform/transfer_core.h"

namespace testsupport {

std::unique_ptr<transfer::BasicTransfer> MakeTransfer(const transfer::Limits& limits);
// Serves the thread's event loop until done() holds or guardMs pass; returns done().
bool Serve(const std::function<bool()>& done, int guardMs);
// Runs `call` from the event loop, as soon as it is served.
void Later(std::function<void()> call);
// Whether the transfer asks for and decodes gzip bodies.
bool DecodesGzip();
// Whether a huge response head ends the transfer at once (Wine's WinHTTP reads it all first).
bool BoundsResponseHead();

}  // namespace testsupport
