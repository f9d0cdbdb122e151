// The transfer against Debian's Apache with its compression on: it tags a compressed answer
// with a suffix it does not match when the tag comes back, yet unchanged polls must cost a
// 304 and a changed page must be seen on the next poll.
#include <gtest/gtest.h>

#include "bench/apache_server.h"
#include "support/transfer_platform.h"

namespace {

QByteArray Page(int version) {  // about 200 KB, of another size for each version
    return ("<p>Version " + QByteArray::number(version) + " of the news</p>\n")
        .repeated(8000 + version);
}

TEST(ApacheTest, UnchangedPollsGet304sAndAChangeIsSeenAtOnce) {
    if (!QFile::exists(ApacheServer::kBinary))
        GTEST_SKIP() << ApacheServer::kBinary << " missing: scripts/deps.sh test installs it";
    for (const auto& [filter, suffix] :
         {std::pair{"DEFLATE", "-gzip"}, {"BROTLI_COMPRESS", "-br"}}) {
        SCOPED_TRACE(filter);
        ApacheServer server(filter, Page(1));
        ASSERT_TRUE(server.ok()) << server.errors().toStdString();
        auto transfer = testsupport::MakeTransfer({});
        std::string body;
        transfer->StateChanged = [&](std::int16_t state) {
            body = state == kStateResponseCompleted ? transfer->GetChunk(1 << 24) : "(failed)";
        };
        // The page's version at each poll, and the status expected.
        const std::vector<std::pair<int, int>> polls{
            {1, 200}, {1, 304}, {1, 304}, {2, 200}, {2, 304}};
        int shown = 1;
        for (const auto& [version, status] : polls) {
            if (version != shown) server.SetPage(Page(shown = version));
            body.clear();
            transfer->Execute(server.url());
            EXPECT_TRUE(testsupport::Serve([&] { return !body.empty(); }, 10000));
            EXPECT_EQ(body, Page(version).toStdString());
        }
        const std::vector<ApacheServer::Answer> answers = server.Log(polls.size());
        ASSERT_EQ(answers.size(), polls.size());
        EXPECT_TRUE(answers[0].etag.contains(suffix)) << answers[0].etag.constData();
        for (std::size_t i = 0; i < polls.size(); ++i) {
            EXPECT_EQ(answers[i].status, polls[i].second) << i;
            const qint64 bytes = answers[i].in + answers[i].out;
            EXPECT_TRUE(polls[i].second != 304 || bytes < 1024) << i << ": " << bytes << " bytes";
        }
    }
}

}  // namespace
