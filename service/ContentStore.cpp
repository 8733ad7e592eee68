#include "service/ContentStore.h"

#include <fstream>

#include "service/ServiceCrypto.h"

namespace fs = std::filesystem;

CContentStore::CContentStore(const fs::path& root) : m_root(root) {
    fs::create_directories(m_root / "content");
    fs::create_directories(m_root / "partial");
    fs::create_directories(m_root / "incoming");
    // Incoming files are written and adopted within one request; leftovers of a killed run
    // belong to nobody.
    for (const auto& item : fs::directory_iterator(m_root / "incoming")) {
        std::error_code ec;
        fs::remove(item.path(), ec);
    }
}

fs::path CContentStore::ObjectPath(std::int64_t account, const std::string& md5,
                                   std::int64_t size) const {
    return m_root / "content" / std::to_string(account) / md5.substr(0, 2) /
           (md5 + "-" + std::to_string(size));
}

bool CContentStore::HasObject(std::int64_t account, const std::string& md5,
                              std::int64_t size) const {
    std::error_code ec;
    return fs::is_regular_file(ObjectPath(account, md5, size), ec);
}

void CContentStore::RemoveObject(std::int64_t account, const std::string& md5,
                                 std::int64_t size) const {
    std::error_code ec;
    fs::remove(ObjectPath(account, md5, size), ec);
}

fs::path CContentStore::PartialPath(const std::string& storageName) const {
    return m_root / "partial" / storageName;
}

void CContentStore::CreatePartial(const std::string& storageName) const {
    std::ofstream out(PartialPath(storageName), std::ios::binary | std::ios::trunc);
    if (!out) {
        throw fs::filesystem_error("cannot create", PartialPath(storageName),
                                   std::make_error_code(std::errc::io_error));
    }
}

std::int64_t CContentStore::PartialSize(const std::string& storageName) const {
    std::error_code ec;
    auto size = fs::file_size(PartialPath(storageName), ec);
    return ec ? -1 : static_cast<std::int64_t>(size);
}

void CContentStore::TruncatePartial(const std::string& storageName, std::int64_t size) const {
    fs::resize_file(PartialPath(storageName), static_cast<std::uintmax_t>(size));
}

void CContentStore::Adopt(const fs::path& file, std::int64_t account, const std::string& md5,
                          std::int64_t size) const {
    fs::path target = ObjectPath(account, md5, size);
    if (fs::exists(target)) {
        fs::remove(file);
        return;
    }
    fs::create_directories(target.parent_path());
    fs::rename(file, target);
}

fs::path CContentStore::IncomingPath() const {
    return m_root / "incoming" / RandomHex(16);
}
