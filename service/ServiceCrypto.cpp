#include "service/ServiceCrypto.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <array>
#include <cctype>
#include <fstream>
#include <new>
#include <stdexcept>
#include <vector>

namespace {

std::string Hex(const unsigned char* data, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 0xF];
    }
    return text;
}

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(char c) {
    for (int i = 0; i < 64; ++i) {
        if (kBase64[i] == c) {
            return i;
        }
    }
    return -1;
}

}  // namespace

CMd5Stream::CMd5Stream() : m_pCtx(EVP_MD_CTX_new()) {
    if (m_pCtx == nullptr || EVP_DigestInit_ex(m_pCtx, EVP_md5(), nullptr) != 1) {
        EVP_MD_CTX_free(m_pCtx);
        throw std::bad_alloc();
    }
}

CMd5Stream::~CMd5Stream() {
    EVP_MD_CTX_free(m_pCtx);
}

CMd5Stream::CMd5Stream(const CMd5Stream& other) : m_pCtx(EVP_MD_CTX_new()) {
    if (m_pCtx == nullptr || EVP_MD_CTX_copy_ex(m_pCtx, other.m_pCtx) != 1) {
        EVP_MD_CTX_free(m_pCtx);
        throw std::bad_alloc();
    }
}

CMd5Stream& CMd5Stream::operator=(const CMd5Stream& other) {
    if (this != &other && EVP_MD_CTX_copy_ex(m_pCtx, other.m_pCtx) != 1) {
        throw std::bad_alloc();
    }
    return *this;
}

void CMd5Stream::Update(const void* data, std::size_t size) {
    EVP_DigestUpdate(m_pCtx, data, size);
}

std::string CMd5Stream::HexDigest() const {
    CMd5Stream copy(*this);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(copy.m_pCtx, digest, &size);
    return Hex(digest, size);
}

std::optional<std::string> CMd5Stream::OfFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    CMd5Stream md5;
    std::vector<char> buffer(1 << 20);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        md5.Update(buffer.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        return std::nullopt;
    }
    return md5.HexDigest();
}

std::string Sha256Hex(std::string_view data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(data.data(), data.size(), digest, &size, EVP_sha256(), nullptr);
    return Hex(digest, size);
}

std::string RandomHex(std::size_t bytes) {
    std::vector<unsigned char> data(bytes);
    if (RAND_bytes(data.data(), static_cast<int>(bytes)) != 1) {
        throw std::runtime_error("no random bytes");
    }
    return Hex(data.data(), bytes);
}

std::string Base64Encode(std::string_view data) {
    std::string text;
    text.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < data.size(); i += 3) {
        unsigned v = (static_cast<unsigned char>(data[i]) << 16) |
                     (static_cast<unsigned char>(data[i + 1]) << 8) |
                     static_cast<unsigned char>(data[i + 2]);
        text += kBase64[(v >> 18) & 63];
        text += kBase64[(v >> 12) & 63];
        text += kBase64[(v >> 6) & 63];
        text += kBase64[v & 63];
    }
    if (i < data.size()) {
        unsigned v = static_cast<unsigned char>(data[i]) << 16;
        if (i + 1 < data.size()) {
            v |= static_cast<unsigned char>(data[i + 1]) << 8;
        }
        text += kBase64[(v >> 18) & 63];
        text += kBase64[(v >> 12) & 63];
        text += i + 1 < data.size() ? kBase64[(v >> 6) & 63] : '=';
        text += '=';
    }
    return text;
}

bool Base64Decode(std::string_view text, std::string& out) {
    if (text.size() % 4 != 0) {
        return false;
    }
    out.clear();
    for (std::size_t i = 0; i < text.size(); i += 4) {
        bool last = i + 4 == text.size();
        std::array<int, 4> v{};
        int padding = 0;
        for (int k = 0; k < 4; ++k) {
            char c = text[i + k];
            if (c == '=' && last && k >= 2) {
                ++padding;
                v[k] = 0;
                continue;
            }
            if (padding > 0 || (v[k] = Base64Value(c)) < 0) {
                return false;
            }
        }
        unsigned bits = (v[0] << 18) | (v[1] << 12) | (v[2] << 6) | v[3];
        out += static_cast<char>((bits >> 16) & 0xFF);
        if (padding < 2) {
            out += static_cast<char>((bits >> 8) & 0xFF);
        }
        if (padding < 1) {
            out += static_cast<char>(bits & 0xFF);
        }
    }
    return true;
}

bool IsMd5Text(std::string_view text) {
    if (text.size() != 32) {
        return false;
    }
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}
