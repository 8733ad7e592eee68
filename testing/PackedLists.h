#pragma once
// Packed record lists from and to plain vectors, for tests that write their records out in
// full and read them back field by field.

#include <vector>

#include "common/PackedFiles.h"

namespace testing_support {

inline CPackedFiles Packed(const std::vector<TSyncFile>& files) {
    CPackedFiles packed;
    for (const TSyncFile& file : files) {
        packed.Add(file);
    }
    return packed;
}

inline std::vector<TSyncFile> Unpacked(const CPackedFiles& packed) {
    std::vector<TSyncFile> files;
    for (std::size_t i = 0; i < packed.Size(); ++i) {
        files.push_back(packed.At(i));
    }
    return files;
}

}  // namespace testing_support
