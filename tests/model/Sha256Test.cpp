#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "model/Sha256.h"

namespace {

// The standard's examples (FIPS 180-4 and its companion) and NIST's long message.
TEST(Sha256, GivesTheStandardsDigests) {
    const struct {
        std::string message;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
         "lmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.digest, Sha256Hex(c.message)) << c.message.size() << " bytes";
    }
}

#ifndef _WIN32
// Every length across the padding's edges (55, 56, 63, 64 bytes and their next block), random
// bytes fed in pieces, against the system's sha256sum.
TEST(Sha256, AgreesWithSha256sumAcrossBlockEdges) {
    std::mt19937 random(37);
    for (std::size_t length = 0; length <= 200; ++length) {
        std::string bytes(length, '\0');
        for (char& byte : bytes) {
            byte = static_cast<char>(random());
        }
        char path[] = "/tmp/sha256-XXXXXX";
        const int fd = mkstemp(path);
        ASSERT_NE(-1, fd);
        ASSERT_EQ(static_cast<ssize_t>(length), write(fd, bytes.data(), length));
        close(fd);
        FILE* pipe = popen(("sha256sum " + std::string(path)).c_str(), "r");
        ASSERT_NE(nullptr, pipe);
        char digest[65] = {};
        ASSERT_EQ(64u, fread(digest, 1, 64, pipe));
        pclose(pipe);
        unlink(path);

        Sha256 pieces;
        const std::size_t cut = length / 3;
        pieces.Add(std::string_view(bytes).substr(0, cut));
        pieces.Add(std::string_view(bytes).substr(cut));
        EXPECT_EQ(digest, DigestHex(pieces.Finish())) << length << " bytes";
        EXPECT_EQ(digest, Sha256Hex(bytes)) << length << " bytes";
    }
}
#endif

} // namespace
