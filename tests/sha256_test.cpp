// SHA-256 against the test vectors of FIPS 180-4, and at every length around its block edges.
#include <gtest/gtest.h>

#include <string>

#include "model/sha256.h"

using namespace orbex;

// Both ways: the processor's instructions, where there are any, and the plain rounds.
TEST(Sha256, StandardVectors) {
    for (const auto hash : {+[](std::string_view s) { return sha256Hex(s); },
                            +[](std::string_view s) { return hexOf(detail::sha256Portable(s)); }}) {
        EXPECT_EQ(hash(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
        EXPECT_EQ(hash("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
        EXPECT_EQ(hash("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
                  "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
        EXPECT_EQ(
            hash("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmn"
                 "opqklmnopqrlmnopqrsmnopqrstnopqrstu"),
            "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
        EXPECT_EQ(hash(std::string(1000000, 'a')),
                  "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    }
}

// Lengths where the padding takes one block or two (55, 56, 64 bytes), and a byte changed
// anywhere in three blocks changes the digest.
TEST(Sha256, BlockEdges) {
    EXPECT_EQ(sha256Hex(std::string(55, 'a')),
              "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
    EXPECT_EQ(sha256Hex(std::string(56, 'a')),
              "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
    EXPECT_EQ(sha256Hex(std::string(64, 'a')),
              "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
    const std::string base(130, 'x');
    const std::string digest = sha256Hex(base);
    for (std::size_t i = 0; i < base.size(); i += 13) {
        std::string changed = base;
        changed[i] = 'y';
        EXPECT_NE(sha256Hex(changed), digest) << i;
    }
}

// Where the processor's instructions are used, they agree with the plain rounds at every length
// up to a few blocks and on a long text.
TEST(Sha256, InstructionsAgreeWithThePlainRounds) {
    std::string text;
    for (int n = 0; n < 300; ++n) {
        EXPECT_EQ(sha256(text), detail::sha256Portable(text)) << n;
        text += static_cast<char>(n * 37 + 11);
    }
    const std::string big(100000, '\xA5');
    EXPECT_EQ(sha256(big), detail::sha256Portable(big));
    if (!detail::usesShaInstructions()) GTEST_SKIP() << "no SHA instructions here";
}
