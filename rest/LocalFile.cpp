#include "rest/LocalFile.h"

#include <cerrno>

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

int CLocalFile::Open(const plat::CRootedPath& item, const char* mode) {
    Close();
    m_bFailed = false;
    int error = item.OpenStream(mode, m_pFile);
    if (error != 0) {
        return ErrorResult(error);
    }
    if (std::fseek(m_pFile, 0, SEEK_END) != 0 || (m_iSize = ftello(m_pFile)) < 0) {
        Close();
        return REST_LOCAL_FILE_ERROR;
    }
    return REST_OK;
}

int CLocalFile::OpenForReading(const plat::CRootedPath& item) {
    const plat::FileStatus status = item.Status();
    if (!status.bExists) {
        return REST_LOCAL_FILE_MISSING;
    }
    if (!status.bRegular) {
        return REST_LOCAL_FILE_ERROR;
    }
    int result = Open(item, "rb");
    if (result == REST_OK && std::fseek(m_pFile, 0, SEEK_SET) != 0) {
        Close();
        return REST_LOCAL_FILE_ERROR;
    }
    return result;
}

int CLocalFile::OpenForAppending(const plat::CRootedPath& item) {
    int result = Open(item, "ab+");
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
