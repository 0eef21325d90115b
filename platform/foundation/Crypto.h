// Crypto: the digests and ciphers the device offers — MD5 (RFC 1321), AES-256
// decryption and encryption, and Base64 (RFC 4648) — over OpenSSL's EVP API.
// Stateless free functions; thread-safe. Inputs are borrowed, results owned
// by the caller.
//
//   std::string id = md5Hex("hello");             // "5d41402abc4b2a76b9719d911017c592"
//   Result<Data> plain = aes256Decrypt(cipher, key, AesMode::Cbc);
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/core/Result.h"
#include "platform/core/Value.h"

namespace murmelo {

using Md5Digest = std::array<std::uint8_t, 16>;

Md5Digest md5(std::string_view bytes);
Md5Digest md5(const Data& bytes);
// 32 lower-case hexadecimal digits, two per byte, in byte order.
std::string md5Hex(std::string_view bytes);
std::string hexString(const std::uint8_t* bytes, size_t length);

// Cipher mode of the AES helpers. Both use PKCS#7 padding.
// - Cbc with an all-zero initialisation vector: the phone platform's common
//   "AES256DecryptWithKey:" helper (its NULL vector means zeros).
// - Ecb: no vector.
enum class AesMode { Cbc, Ecb };

// Key bytes: the key's UTF-8 bytes, zero-padded to 32. A key longer than 32
// bytes is refused rather than silently cut, since that would decrypt with a
// key the caller never gave.
Result<Data> aes256Decrypt(const Data& cipherText, std::string_view key, AesMode mode = AesMode::Cbc);
Result<Data> aes256Encrypt(const Data& plainText, std::string_view key, AesMode mode = AesMode::Cbc);

enum class Base64LineBreaks { None, Every64, Every76 };

std::string base64Encode(const Data& bytes, Base64LineBreaks breaks = Base64LineBreaks::None);
std::string base64Encode(std::string_view bytes, Base64LineBreaks breaks = Base64LineBreaks::None);
// Standard alphabet with "=" padding. Line breaks and blanks (CR, LF, space,
// tab) anywhere are skipped; any other stray character, a misplaced or
// missing "=", or non-zero bits in the final padding position is an error.
Result<Data> base64Decode(std::string_view text);

} // namespace murmelo
