#include "platform/foundation/Crypto.h"

#include <memory>
#include <openssl/evp.h>

namespace murmelo {

namespace {

Error cryptoError(std::string description) {
    return Error("MurmeloCryptoErrorDomain", 1, std::move(description));
}

Md5Digest md5Bytes(const void* bytes, size_t length) {
    Md5Digest digest{};
    unsigned int size = 0;
    // EVP_Digest only fails on allocation failure; the digest stays zero then.
    EVP_Digest(bytes, length, digest.data(), &size, EVP_md5(), nullptr);
    return digest;
}

struct CipherContextDeleter {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

Result<Data> aes256(const Data& input, std::string_view key, AesMode mode, bool encrypt) {
    if (key.size() > 32) {
        return cryptoError("AES-256 key longer than 32 bytes");
    }
    unsigned char keyBytes[32] = {};
    std::copy(key.begin(), key.end(), keyBytes);
    unsigned char iv[16] = {};
    const EVP_CIPHER* cipher = mode == AesMode::Cbc ? EVP_aes_256_cbc() : EVP_aes_256_ecb();

    std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter> ctx(EVP_CIPHER_CTX_new());
    if (!ctx || EVP_CipherInit_ex(ctx.get(), cipher, nullptr, keyBytes, mode == AesMode::Cbc ? iv : nullptr,
                                  encrypt ? 1 : 0) != 1) {
        return cryptoError("cannot set up AES-256");
    }
    if (!encrypt && (input.empty() || input.size() % 16 != 0)) {
        return cryptoError("AES-256 cipher text is not a whole number of blocks");
    }
    Data output(input.size() + 16);
    int written = 0;
    // EVP takes int lengths; our inputs are far below that, but refuse rather than truncate.
    if (input.size() > static_cast<size_t>(INT32_MAX - 32)) {
        return cryptoError("AES-256 input too large");
    }
    if (EVP_CipherUpdate(ctx.get(), output.data(), &written, input.data(), static_cast<int>(input.size())) !=
        1) {
        return cryptoError("AES-256 failed");
    }
    int tail = 0;
    if (EVP_CipherFinal_ex(ctx.get(), output.data() + written, &tail) != 1) {
        return cryptoError(encrypt ? "AES-256 failed" : "AES-256 padding is wrong (bad key or damaged data)");
    }
    output.resize(static_cast<size_t>(written + tail));
    return output;
}

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Digit(unsigned char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

Error base64Error(std::string description) {
    return Error("MurmeloCryptoErrorDomain", 2, "invalid Base64: " + std::move(description));
}

} // namespace

Md5Digest md5(std::string_view bytes) {
    return md5Bytes(bytes.data(), bytes.size());
}
Md5Digest md5(const Data& bytes) {
    return md5Bytes(bytes.data(), bytes.size());
}

std::string hexString(const std::uint8_t* bytes, size_t length) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(length * 2);
    for (size_t i = 0; i < length; ++i) {
        out.push_back(kHex[bytes[i] >> 4]);
        out.push_back(kHex[bytes[i] & 0xf]);
    }
    return out;
}

std::string md5Hex(std::string_view bytes) {
    Md5Digest digest = md5(bytes);
    return hexString(digest.data(), digest.size());
}

Result<Data> aes256Decrypt(const Data& cipherText, std::string_view key, AesMode mode) {
    return aes256(cipherText, key, mode, false);
}

Result<Data> aes256Encrypt(const Data& plainText, std::string_view key, AesMode mode) {
    return aes256(plainText, key, mode, true);
}

std::string base64Encode(std::string_view bytes, Base64LineBreaks breaks) {
    size_t lineLength = breaks == Base64LineBreaks::Every64   ? 64
                        : breaks == Base64LineBreaks::Every76 ? 76
                                                              : 0;
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4 + (lineLength ? bytes.size() / lineLength * 2 : 0));
    size_t column = 0;
    auto put = [&](char c) {
        if (lineLength && column == lineLength) {
            out += "\r\n";
            column = 0;
        }
        out.push_back(c);
        ++column;
    };
    size_t i = 0;
    auto byte = [&](size_t k) { return static_cast<unsigned>(static_cast<unsigned char>(bytes[k])); };
    for (; i + 3 <= bytes.size(); i += 3) {
        unsigned n = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
        put(kAlphabet[n >> 18]);
        put(kAlphabet[(n >> 12) & 63]);
        put(kAlphabet[(n >> 6) & 63]);
        put(kAlphabet[n & 63]);
    }
    size_t rest = bytes.size() - i;
    if (rest == 1) {
        unsigned n = byte(i) << 16;
        put(kAlphabet[n >> 18]);
        put(kAlphabet[(n >> 12) & 63]);
        put('=');
        put('=');
    } else if (rest == 2) {
        unsigned n = byte(i) << 16 | byte(i + 1) << 8;
        put(kAlphabet[n >> 18]);
        put(kAlphabet[(n >> 12) & 63]);
        put(kAlphabet[(n >> 6) & 63]);
        put('=');
    }
    return out;
}

std::string base64Encode(const Data& bytes, Base64LineBreaks breaks) {
    return base64Encode(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), breaks);
}

Result<Data> base64Decode(std::string_view text) {
    Data out;
    out.reserve(text.size() / 4 * 3);
    unsigned quantum[4];
    int filled = 0;
    int padding = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' || c == '\n' || c == ' ' || c == '\t') {
            continue;
        }
        if (c == '=') {
            // Padding may only fill the last one or two places of a quantum.
            if (filled < 2) {
                return base64Error("'=' at offset " + std::to_string(i));
            }
            ++padding;
            quantum[filled++] = 0;
        } else {
            int digit = base64Digit(c);
            if (digit < 0) {
                return base64Error("character " + std::to_string(c) + " at offset " + std::to_string(i));
            }
            if (padding > 0) {
                return base64Error("data after '=' at offset " + std::to_string(i));
            }
            quantum[filled++] = static_cast<unsigned>(digit);
        }
        if (filled == 4) {
            unsigned n = quantum[0] << 18 | quantum[1] << 12 | quantum[2] << 6 | quantum[3];
            if (padding == 2 && (n & 0xffff) != 0) {
                return base64Error("non-zero bits before padding");
            }
            if (padding == 1 && (n & 0xff) != 0) {
                return base64Error("non-zero bits before padding");
            }
            out.push_back(static_cast<std::uint8_t>(n >> 16));
            if (padding < 2) {
                out.push_back(static_cast<std::uint8_t>(n >> 8));
            }
            if (padding < 1) {
                out.push_back(static_cast<std::uint8_t>(n));
            }
            filled = 0;
            if (padding > 0) {
                padding = 3; // marks "finished"; any further digit is an error
            }
        }
    }
    if (filled != 0) {
        return base64Error(padding ? "incomplete padding" : "length is not a multiple of four");
    }
    return out;
}

} // namespace murmelo
