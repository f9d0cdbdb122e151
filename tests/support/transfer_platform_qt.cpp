#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include "platform/qt/qt_transfer.h"
#include "support/event_loop.h"
#include "support/transfer_platform.h"

namespace testsupport {

std::unique_ptr<transfer::BasicTransfer> MakeTransfer(const transfer::Limits& limits) {
    return std::make_unique<QtTransfer>(limits, nullptr);
}

bool Serve(const std::function<bool()>& done, int guardMs) {
    return SpinUntil(done, guardMs, 2);
}

void Later(std::function<void()> call) {
    QTimer::singleShot(0, std::move(call));
}

bool DecodesGzip() {
    return true;
}

bool BoundsResponseHead() {
    return true;
}

}  // namespace testsupport

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
