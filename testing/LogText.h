#pragma once
// Every log line written under a CORVENA_HOME so far, as one UTF-8 text, so that a test can
// look for the lines it expects (the files are UTF-16LE with a byte-order mark).

#include <filesystem>
#include <string>

#include "common/Utility.h"
#include "testing/FileText.h"

namespace testing_support {

inline std::string DecodeUtf16Le(const std::string& bytes) {
    std::wstring wide;
    auto unitAt = [&bytes](std::size_t i) {
        return static_cast<unsigned>(static_cast<unsigned char>(bytes[i]) |
                                     static_cast<unsigned char>(bytes[i + 1]) << 8);
    };
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        unsigned unit = unitAt(i);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
            unit = 0x10000 + ((unit - 0xD800) << 10) + (unitAt(i + 2) - 0xDC00);
            i += 2;
        }
        if (unit != 0xFEFF) {
            wide += static_cast<wchar_t>(unit);
        }
    }
    return WstringToString(wide);
}

inline std::string LogText(const std::filesystem::path& home) {
    std::string text;
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home / "state", ec)) {
        if (entry.is_regular_file()) {
            text += DecodeUtf16Le(ReadWholeFile(entry.path()));
        }
    }
    return text;
}

}  // namespace testing_support
