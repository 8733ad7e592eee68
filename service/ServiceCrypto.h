#pragma once
// Hashes, random names and Base64 for the service, on OpenSSL's libcrypto.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

struct evp_md_ctx_st;

// An MD5 computed piece by piece. Copyable, so a transfer can keep the state reached at some
// offset and continue from it later.
class CMd5Stream {
  public:
    CMd5Stream();
    ~CMd5Stream();
    CMd5Stream(const CMd5Stream& other);
    CMd5Stream& operator=(const CMd5Stream& other);

    void Update(const void* data, std::size_t size);
    // 32 lower-case hex digits of what was added so far; the stream may continue.
    std::string HexDigest() const;

    // MD5 of a whole file; nullopt when it cannot be read.
    static std::optional<std::string> OfFile(const std::filesystem::path& file);

  private:
    evp_md_ctx_st* m_pCtx;
};

// Lower-case hex of SHA-256.
std::string Sha256Hex(std::string_view data);
// Lower-case hex of bytes from the system's random source.
std::string RandomHex(std::size_t bytes);

std::string Base64Encode(std::string_view data);
// Standard alphabet with "=" padding, nothing else accepted; false for any other text.
bool Base64Decode(std::string_view text, std::string& out);

// 32 hex digits (either case) as MD5 texts are written.
bool IsMd5Text(std::string_view text);
