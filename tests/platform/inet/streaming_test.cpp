// SPDX-License-Identifier: Apache-2.0
// A large body streams through a small window: memory stays flat however
// much is read.
#include "platform/inet/WinInet.h"
#include "support/InetTestSupport.h"
#include "support/TestServers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace testsupport;

namespace {

constexpr std::size_t kBodyBytes = 200u << 20;
constexpr std::size_t kChunkBytes = 64u << 10;
// Buffering the body would grow the process by its 200 MiB. AddressSanitizer
// keeps freed blocks (the test server's among them) in a quarantine, so it
// gets more slack without hiding that.
constexpr long kAllowedGrowthKiB = (kUnderAddressSanitizer ? 64L : 16L) * 1024;

TEST(Streaming, TwoHundredMegabytesReadInPiecesKeepMemoryFlat) {
    static std::vector<char> chunk(kChunkBytes);
    for (std::size_t i = 0; i < chunk.size(); ++i) {
        chunk[i] = static_cast<char>(i * 7);
    }
    LocalServer server;
    server.Routes().Get("/big", [](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(
            kBodyBytes, "application/octet-stream",
            [](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                const std::size_t start = offset % kChunkBytes;
                sink.write(chunk.data() + start, std::min(length, kChunkBytes - start));
                return true;
            });
    });
    server.Start();
    const Handle session = OpenSession();
    const Request request =
        OpenRequest(session.Get(), server.Port(), u"/big", INTERNET_FLAG_NO_CACHE_WRITE);
    ASSERT_TRUE(Send(request));

    const long before = ResidentKiB();
    long peak = before;
    std::size_t total = 0;
    char buffer[4096];
    for (DWORD got = 1, reads = 0; got != 0; ++reads) {
        ASSERT_TRUE(InternetReadFile(request.Get(), buffer, 4096, &got));
        ASSERT_LE(got, 4096u);
        ASSERT_TRUE(got == 0 || buffer[0] == chunk[total % kChunkBytes]) << "at byte " << total;
        total += got;
        peak = reads % 1024 == 0 ? std::max(peak, ResidentKiB()) : peak;
    }
    EXPECT_EQ(total, kBodyBytes);
    EXPECT_LT(peak - before, kAllowedGrowthKiB) << "resident set grew by " << peak - before;
}

} // namespace
