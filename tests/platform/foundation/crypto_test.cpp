#include <gtest/gtest.h>

#include "platform/foundation/Crypto.h"

using namespace murmelo;

namespace {

Data bytesFromHex(std::string_view hex) {
    Data out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return out;
}

std::string hexOf(const Data& data) {
    return hexString(data.data(), data.size());
}

} // namespace

TEST(Md5, Rfc1321TestSuite) {
    struct Case {
        const char* input;
        const char* digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(md5Hex(c.input), c.digest);
        std::string view(c.input);
        Md5Digest raw = md5(Data(view.begin(), view.end()));
        EXPECT_EQ(hexString(raw.data(), raw.size()), c.digest);
    }
    // UTF-8 bytes are hashed, and bytes after a NUL count.
    EXPECT_EQ(md5Hex("\xc3\xa4"), md5Hex(std::string("\xc3\xa4")));
    EXPECT_NE(md5Hex(std::string("a\0b", 3)), md5Hex("a"));
}

TEST(Aes256, KnownAnswerAndRoundTrips) {
    // FIPS-197 appendix C.3: one block under a 256-bit key. With PKCS#7 a
    // full block of padding follows; in CBC with a zero vector the first
    // block equals ECB's.
    std::string key;
    for (int i = 0; i < 32; ++i) {
        key.push_back(static_cast<char>(i));
    }
    Data plain = bytesFromHex("00112233445566778899aabbccddeeff");
    for (auto mode : {AesMode::Ecb, AesMode::Cbc}) {
        SCOPED_TRACE(mode == AesMode::Ecb ? "ecb" : "cbc");
        auto cipher = aes256Encrypt(plain, key, mode);
        ASSERT_TRUE(cipher);
        ASSERT_EQ(cipher->size(), 32u);
        EXPECT_EQ(hexOf(Data(cipher->begin(), cipher->begin() + 16)), "8ea2b7ca516745bfeafc49904b496089");
        auto back = aes256Decrypt(*cipher, key, mode);
        ASSERT_TRUE(back);
        EXPECT_EQ(*back, plain);
    }

    // Text keys shorter than 32 bytes are zero-padded: "abc" equals "abc\0...".
    Data message = {'s', 'e', 'c', 'r', 'e', 't'};
    auto padded = aes256Encrypt(message, std::string("abc") + std::string(29, '\0'));
    auto shortKey = aes256Encrypt(message, "abc");
    ASSERT_TRUE(padded && shortKey);
    EXPECT_EQ(*padded, *shortKey);

    struct Case {
        const char* name;
        size_t length;
    } lengths[] = {{"empty", 0}, {"one byte", 1}, {"fifteen", 15}, {"one block", 16}, {"odd", 1000}};
    for (const auto& c : lengths) {
        SCOPED_TRACE(c.name);
        Data data(c.length);
        for (size_t i = 0; i < c.length; ++i) {
            data[i] = static_cast<std::uint8_t>(i * 7);
        }
        auto cipher = aes256Encrypt(data, "0123456789abcdef0123456789abcdef");
        ASSERT_TRUE(cipher);
        EXPECT_EQ(cipher->size() % 16, 0u);
        EXPECT_GT(cipher->size(), c.length);
        auto back = aes256Decrypt(*cipher, "0123456789abcdef0123456789abcdef");
        ASSERT_TRUE(back);
        EXPECT_EQ(*back, data);
    }
}

TEST(Aes256, BadInputIsAnError) {
    auto cipher = aes256Encrypt(Data{1, 2, 3}, "right key");
    ASSERT_TRUE(cipher);
    Data truncated(cipher->begin(), cipher->end() - 1);
    Data damaged = *cipher;
    damaged.back() ^= 0x5a;
    struct Case {
        const char* name;
        Data input;
        std::string key;
    } cases[] = {
        {"wrong key", *cipher, "wrong key"},
        {"not whole blocks", truncated, "right key"},
        {"empty", Data{}, "right key"},
        {"damaged padding", damaged, "right key"},
        {"key too long", *cipher, std::string(33, 'k')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = aes256Decrypt(c.input, c.key);
        EXPECT_FALSE(r);
    }
    EXPECT_FALSE(aes256Encrypt(Data{1}, std::string(33, 'k')));
}

TEST(Base64, Rfc4648Vectors) {
    struct Case {
        const char* plain;
        const char* encoded;
    } cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plain);
        EXPECT_EQ(base64Encode(std::string_view(c.plain)), c.encoded);
        auto decoded = base64Decode(c.encoded);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(std::string(decoded->begin(), decoded->end()), c.plain);
    }
    Data all(256);
    for (int i = 0; i < 256; ++i) {
        all[static_cast<size_t>(i)] = static_cast<std::uint8_t>(i);
    }
    for (auto breaks : {Base64LineBreaks::None, Base64LineBreaks::Every64, Base64LineBreaks::Every76}) {
        std::string text = base64Encode(all, breaks);
        auto back = base64Decode(text);
        ASSERT_TRUE(back);
        EXPECT_EQ(*back, all);
        size_t firstBreak = text.find("\r\n");
        if (breaks == Base64LineBreaks::None) {
            EXPECT_EQ(firstBreak, std::string::npos);
        } else {
            EXPECT_EQ(firstBreak, breaks == Base64LineBreaks::Every64 ? 64u : 76u);
        }
    }
    auto withBreaks = base64Decode("Zm9v\r\nYmFy\n \t");
    ASSERT_TRUE(withBreaks);
    EXPECT_EQ(std::string(withBreaks->begin(), withBreaks->end()), "foobar");
}

TEST(Base64, InvalidInputIsRefused) {
    const char* cases[] = {
        "Zg",       // missing padding
        "Zg=",      // half the padding
        "Z===",     // too much padding
        "=Zg=",     // padding first
        "Zm9v!",    // stray character
        "Zm9-",     // URL-safe alphabet is not this one
        "Zh==",     // bits set under the padding
        "Zm9=",     // bits set under the padding
        "Zg==Zg==", // data after the end
        "Zm9vY",    // length not a multiple of four
        "Zg=a",     // digit after padding inside a quantum
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        auto r = base64Decode(text);
        EXPECT_FALSE(r);
    }
}
