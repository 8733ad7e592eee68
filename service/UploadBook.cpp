#include "service/UploadBook.h"

#include <algorithm>
#include <cctype>

#include "service/EntryName.h"
#include "service/ServiceCodes.h"

namespace {

const std::int64_t kLargestFile = (std::int64_t{1} << 32) - 1;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool OverQuota(const TAccount& account, std::int64_t used, std::int64_t size) {
    return account.iQuota >= 0 && used + size > account.iQuota;
}

}  // namespace

CUploadBook::CPut::CPut(CUploadBook& book, std::string storageName, std::int64_t offset,
                        std::int64_t remaining, std::optional<CMd5Stream> md5)
    : m_book(book),
      m_strStorageName(std::move(storageName)),
      m_writer(book.m_content.PartialPath(m_strStorageName), std::move(md5)),
      m_iOffset(offset),
      m_iRemaining(remaining) {}

CUploadBook::CPut::~CPut() {
    Finish(false);
}

bool CUploadBook::CPut::Append(const char* data, std::size_t size) {
    if (m_bFailed || m_bTooLong) {
        return false;
    }
    if (m_iWritten + static_cast<std::int64_t>(size) > m_iRemaining) {
        m_bTooLong = true;
        return false;
    }
    if (!m_writer.Write(data, size)) {
        m_bFailed = true;
        return false;
    }
    m_iWritten += static_cast<std::int64_t>(size);
    return true;
}

int CUploadBook::CPut::Finish(bool complete) {
    if (m_bFinished) {
        return SVC_OK;
    }
    m_bFinished = true;
    m_bFailed = !m_writer.Finish() || m_bFailed;
    int code = SVC_OK;
    if (m_bFailed || m_bTooLong) {
        // Whatever this request wrote is dropped: its end is not trustworthy.
        std::error_code ec;
        std::filesystem::resize_file(m_book.m_content.PartialPath(m_strStorageName),
                                     static_cast<std::uintmax_t>(m_iOffset), ec);
        m_iWritten = 0;
        code = m_bFailed ? SVC_STORAGE_FAILURE : SVC_BAD_OFFSET;
    } else if (!complete) {
        code = SVC_BAD_OFFSET;
    }
    std::lock_guard<std::mutex> guard(m_book.m_mutex);
    if (m_writer.Md5() && !m_bFailed && !m_bTooLong) {
        m_book.m_md5.insert_or_assign(m_strStorageName,
                                      std::make_pair(m_iOffset + m_iWritten, *m_writer.Md5()));
    } else {
        m_book.m_md5.erase(m_strStorageName);
    }
    m_book.m_busy.erase(m_strStorageName);
    return code;
}

CUploadBook::TVerify CUploadBook::Verify(const TAccount& account, std::int64_t pid,
                                         std::int64_t size, const std::string& md5,
                                         const std::string& name) {
    if (size < 0 || !IsMd5Text(md5)) {
        return {SVC_BAD_REQUEST, {}, 0};
    }
    if (size > kLargestFile) {
        return {SVC_TOO_LARGE, {}, 0};
    }
    if (!IsValidEntryName(name)) {
        return {SVC_BAD_NAME, {}, 0};
    }
    std::string digest = Lower(md5);
    auto lock = m_store.Lock();
    if (int code = m_tree.CheckParentLocked(lock, account.iId, pid); code != SVC_OK) {
        return {code, {}, 0};
    }
    if (auto existing = m_store.FindChild(lock, account.iId, pid, name)) {
        // The same file under the same name is already there: nothing to send.
        if (!existing->bDir && existing->strMD5 == digest && existing->iSize == size) {
            return {SVC_CONTENT_HELD, {}, existing->iId};
        }
        return {SVC_NAME_EXISTS, {}, 0};
    }
    if (OverQuota(account, m_store.UsedBytes(lock, account.iId), size)) {
        return {SVC_QUOTA_EXCEEDED, {}, 0};
    }
    if (m_store.FindByContent(lock, account.iId, digest, size) &&
        m_content.HasObject(account.iId, digest, size)) {
        return {
            SVC_CONTENT_HELD, {}, m_tree.AddFileLocked(lock, account.iId, pid, name, size, digest)};
    }
    TUpload upload{RandomHex(16), account.iId, pid, name, size, digest, 0};
    m_content.CreatePartial(upload.strStorageName);
    m_store.InsertUpload(lock, upload);
    return {SVC_OK, upload.strStorageName, 0};
}

CUploadBook::TState CUploadBook::State(const TAccount& account, const std::string& storageName) {
    auto lock = m_store.Lock();
    auto upload = m_store.FindUpload(lock, storageName);
    if (!upload || upload->iAccount != account.iId) {
        return {SVC_UNKNOWN_UPLOAD, 0};
    }
    if (upload->iFileId != 0) {
        return {SVC_OK, upload->iSize};
    }
    return {SVC_OK, std::max<std::int64_t>(m_content.PartialSize(storageName), 0)};
}

std::pair<int, std::unique_ptr<CUploadBook::CPut>> CUploadBook::BeginPut(
    const std::string& storageName, std::int64_t offset, std::optional<std::int64_t> end,
    std::optional<std::int64_t> length) {
    std::optional<TUpload> upload;
    {
        auto lock = m_store.Lock();
        upload = m_store.FindUpload(lock, storageName);
    }
    if (!upload) {
        return {SVC_UNKNOWN_UPLOAD, nullptr};
    }
    if (end && *end != upload->iSize && *end != upload->iSize - 1) {
        return {SVC_BAD_OFFSET, nullptr};
    }
    if (upload->iFileId != 0) {
        // Committed already: only the empty rest can still be sent.
        bool empty = offset == upload->iSize && length.value_or(0) == 0;
        return {empty ? SVC_OK : SVC_BAD_OFFSET, nullptr};
    }
    if (!Claim(storageName)) {
        return {SVC_BUSY, nullptr};
    }
    std::int64_t held = m_content.PartialSize(storageName);
    if (held < 0) {
        m_content.CreatePartial(storageName);
        held = 0;
    }
    std::int64_t remaining = upload->iSize - offset;
    if (offset != held || (length && *length > remaining)) {
        Release(storageName);
        return {SVC_BAD_OFFSET, nullptr};
    }
    std::optional<CMd5Stream> md5;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        auto it = m_md5.find(storageName);
        if (it != m_md5.end() && it->second.first == offset) {
            md5 = it->second.second;
        } else if (offset == 0) {
            md5.emplace();
        }
    }
    return {SVC_OK, std::make_unique<CPut>(*this, storageName, offset, remaining, md5)};
}

TOutcome CUploadBook::Commit(const TAccount& account, const std::string& storageName,
                             std::int64_t pid, const std::string& md5, const std::string& name) {
    std::optional<TUpload> upload;
    {
        auto lock = m_store.Lock();
        upload = m_store.FindUpload(lock, storageName);
        if (upload && upload->iAccount == account.iId && upload->iFileId != 0) {
            bool present = m_store.FindEntry(lock, account.iId, upload->iFileId).has_value();
            return {present ? SVC_OK : SVC_NOT_FOUND, present ? upload->iFileId : 0};
        }
    }
    if (!upload || upload->iAccount != account.iId) {
        return {SVC_UNKNOWN_UPLOAD, 0};
    }
    if (!IsMd5Text(md5)) {
        return {SVC_BAD_REQUEST, 0};
    }
    if (!IsValidEntryName(name)) {
        return {SVC_BAD_NAME, 0};
    }
    if (!Claim(storageName)) {
        return {SVC_BUSY, 0};
    }
    TOutcome outcome;
    if (m_content.PartialSize(storageName) != upload->iSize) {
        outcome.iCode = SVC_BAD_OFFSET;
    } else if (auto received = ReceivedMd5(storageName, upload->iSize); !received) {
        outcome.iCode = SVC_STORAGE_FAILURE;
    } else if (*received != Lower(md5)) {
        // The data is not what the client meant to send: start over from nothing.
        m_content.TruncatePartial(storageName, 0);
        outcome.iCode = SVC_MD5_MISMATCH;
    } else {
        outcome = CreateEntry(account, *upload, pid, *received, name);
    }
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (outcome.iCode == SVC_OK || outcome.iCode == SVC_MD5_MISMATCH) {
            m_md5.erase(storageName);
        }
    }
    Release(storageName);
    return outcome;
}

bool CUploadBook::Claim(const std::string& storageName) {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_busy.insert(storageName).second;
}

void CUploadBook::Release(const std::string& storageName) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_busy.erase(storageName);
}

std::optional<std::string> CUploadBook::ReceivedMd5(const std::string& storageName,
                                                    std::int64_t size) {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        auto it = m_md5.find(storageName);
        if (it != m_md5.end() && it->second.first == size) {
            return it->second.second.HexDigest();
        }
    }
    return CMd5Stream::OfFile(m_content.PartialPath(storageName));
}

TOutcome CUploadBook::CreateEntry(const TAccount& account, const TUpload& upload, std::int64_t pid,
                                  const std::string& md5, const std::string& name) {
    auto lock = m_store.Lock();
    if (int code = m_tree.CheckParentLocked(lock, account.iId, pid); code != SVC_OK) {
        return {code, 0};
    }
    std::int64_t fileId = 0;
    CMetaStore::CTransaction transaction(m_store, lock);
    if (auto existing = m_store.FindChild(lock, account.iId, pid, name)) {
        if (existing->bDir || existing->strMD5 != md5 || existing->iSize != upload.iSize) {
            return {SVC_NAME_EXISTS, 0};
        }
        fileId = existing->iId;
        std::filesystem::remove(m_content.PartialPath(upload.strStorageName));
    } else {
        if (OverQuota(account, m_store.UsedBytes(lock, account.iId), upload.iSize)) {
            return {SVC_QUOTA_EXCEEDED, 0};
        }
        m_content.Adopt(m_content.PartialPath(upload.strStorageName), account.iId, md5,
                        upload.iSize);
        fileId = m_tree.AddFileLocked(lock, account.iId, pid, name, upload.iSize, md5);
    }
    m_store.SetUploadFile(lock, upload.strStorageName, fileId);
    transaction.Commit();
    return {SVC_OK, fileId};
}
