#include "rest/LocalFile.h"

#include <cerrno>
#include <filesystem>

#include "rest/RestResult.h"

namespace {

int ErrorResult(int error) {
    switch (error) {
        case ENOENT:
            return REST_LOCAL_FILE_MISSING;
        case EBUSY:
        case ETXTBSY:
            return REST_LOCAL_FILE_BUSY;
        default:
            return REST_LOCAL_FILE_ERROR;
    }
}

}  // namespace

CLocalFile::~CLocalFile() {
    Close();
}

int CLocalFile::SizeOf(const std::string& path, std::int64_t& size) {
    std::error_code ec;
    auto status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found) {
        return REST_LOCAL_FILE_MISSING;
    }
    if (ec || status.type() != std::filesystem::file_type::regular) {
        return REST_LOCAL_FILE_ERROR;
    }
    auto bytes = std::filesystem::file_size(path, ec);
    if (ec) {
        return ec == std::errc::no_such_file_or_directory ? REST_LOCAL_FILE_MISSING
                                                          : REST_LOCAL_FILE_ERROR;
    }
    size = static_cast<std::int64_t>(bytes);
    return REST_OK;
}

int CLocalFile::Open(const std::string& path, const char* mode) {
    Close();
    m_bFailed = false;
    errno = 0;
    m_pFile = std::fopen(path.c_str(), mode);
    if (m_pFile == nullptr) {
        return ErrorResult(errno);
    }
    if (std::fseek(m_pFile, 0, SEEK_END) != 0 || (m_iSize = ftello(m_pFile)) < 0) {
        Close();
        return REST_LOCAL_FILE_ERROR;
    }
    return REST_OK;
}

int CLocalFile::OpenForReading(const std::string& path) {
    std::int64_t size = 0;
    int result = SizeOf(path, size);
    if (result != REST_OK) {
        return result;
    }
    result = Open(path, "rb");
    if (result == REST_OK && std::fseek(m_pFile, 0, SEEK_SET) != 0) {
        Close();
        return REST_LOCAL_FILE_ERROR;
    }
    return result;
}

int CLocalFile::OpenForAppending(const std::string& path) {
    std::error_code ec;
    auto type = std::filesystem::status(path, ec).type();
    if (type != std::filesystem::file_type::not_found &&
        type != std::filesystem::file_type::regular) {
        return REST_LOCAL_FILE_ERROR;
    }
    int result = Open(path, "ab+");
    return result == REST_OK ? REST_OK : REST_LOCAL_FILE_ERROR;
}

bool CLocalFile::Seek(std::int64_t offset) {
    return m_pFile != nullptr && fseeko(m_pFile, offset, SEEK_SET) == 0;
}

std::size_t CLocalFile::Read(char* buffer, std::size_t size) {
    std::size_t got = std::fread(buffer, 1, size, m_pFile);
    if (got < size && std::ferror(m_pFile)) {
        m_bFailed = true;
    }
    return got;
}

bool CLocalFile::Write(const char* data, std::size_t size) {
    if (std::fwrite(data, 1, size, m_pFile) != size) {
        m_bFailed = true;
    }
    return !m_bFailed;
}

bool CLocalFile::Close() {
    if (m_pFile == nullptr) {
        return true;
    }
    bool closed = std::fclose(m_pFile) == 0;
    m_pFile = nullptr;
    m_bFailed = m_bFailed || !closed;
    return closed;
}
