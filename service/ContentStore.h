#pragma once
// File content on disk, addressed by MD5 and size:
//   <root>/content/<account>/<md5[0..2]>/<md5>-<size>   content held by the account's files
//   <root>/partial/<storage name>                      data received for a registered upload
//   <root>/incoming/                                    content being written by the control
//                                                       interface before its MD5 is known
// Each account has its own content, so a crafted MD5 collision in one account can never change
// what another account downloads.
//
// Thread-safe for distinct names; callers serialise work on one storage name or object.
// Failures throw std::filesystem::filesystem_error.

#include <cstdint>
#include <filesystem>
#include <string>

class CContentStore {
  public:
    explicit CContentStore(const std::filesystem::path& root);

    std::filesystem::path ObjectPath(std::int64_t account, const std::string& md5,
                                     std::int64_t size) const;
    bool HasObject(std::int64_t account, const std::string& md5, std::int64_t size) const;
    // Removes the content; a failure only leaves an unused file behind.
    void RemoveObject(std::int64_t account, const std::string& md5, std::int64_t size) const;

    std::filesystem::path PartialPath(const std::string& storageName) const;
    void CreatePartial(const std::string& storageName) const;
    // Bytes received so far, -1 when the partial file is missing.
    std::int64_t PartialSize(const std::string& storageName) const;
    void TruncatePartial(const std::string& storageName, std::int64_t size) const;

    // Moves a finished file (a partial or an incoming file) into the account's content. When
    // the content is already held the file is removed instead.
    void Adopt(const std::filesystem::path& file, std::int64_t account, const std::string& md5,
               std::int64_t size) const;

    // A fresh name for an incoming file.
    std::filesystem::path IncomingPath() const;

  private:
    std::filesystem::path m_root;
};
