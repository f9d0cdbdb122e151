// The viewer's channel: what crosses it, and what it takes for a process to be a viewer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstdlib>
#include <string>

#include "platform/qt/qt_viewer.h"
#include "platform/qt/viewer_channel.h"
#include "support/event_loop.h"

namespace {
using testsupport::SpinUntil;

TEST(ViewerChannel, MessagesCrossIntactAndAClosedEndIsNoticed) {
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    auto* program = new ViewerChannel(ends[0], nullptr);
    auto* viewer = new ViewerChannel(ends[1], nullptr);
    std::vector<ViewerChannel::Message> received;
    viewer->Received = [&](const ViewerChannel::Message& m) { received.push_back(m); };
    bool ended = false;
    program->Ended = [&] { ended = true; };

    const QString awkward = QStringLiteral("/a path/with spaces\nand %20 and \u00e9");
    const std::string body(300000, 'x');
    program->Send({"icon", ViewerChannel::Text(awkward)});
    program->Send({"page", "u", QByteArray::fromStdString(body).toPercentEncoding()});
    program->Send({"move", QByteArray::number(-40), QByteArray::number(7)});
    ASSERT_TRUE(SpinUntil([&] { return received.size() == 3; }));
    EXPECT_EQ(ViewerChannel::Text(received[0].value(1)), awkward);
    EXPECT_EQ(QByteArray::fromPercentEncoding(received[1].value(2)).size(), qsizetype(body.size()));
    EXPECT_EQ(received[2], (ViewerChannel::Message{"move", "-40", "7"}));

    delete viewer;  // as when the viewer crashes
    EXPECT_TRUE(SpinUntil([&] { return ended; }));
    EXPECT_FALSE(program->IsOpen());
    delete program;
}

// Only a socket whose other end is held by the parent makes a viewer; the variable goes.
TEST(ViewerChannel, TheVariableAloneMakesNoViewer) {
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    const int file = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const std::string ownSocket = std::to_string(ends[1]);  // its other end is ours, not a parent's
    const std::string notSocket = std::to_string(file);
    for (const char* value : {"", "x", "1", "3x", "99999", notSocket.c_str(), ownSocket.c_str()}) {
        setenv(kViewerChannelVariable, value, 1);
        EXPECT_EQ(ViewerChannelFromEnvironment(), -1) << value;
        EXPECT_EQ(std::getenv(kViewerChannelVariable), nullptr) << value;
    }
    EXPECT_EQ(ViewerChannelFromEnvironment(), -1);
    close(file);
    close(ends[0]);
    close(ends[1]);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
