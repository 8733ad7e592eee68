#include "service/EntryName.h"

#include <cstdint>

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        int extra = 0;
        std::uint32_t value = 0;
        std::uint32_t minimum = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            value = c & 0x1F;
            minimum = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            value = c & 0x0F;
            minimum = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            value = c & 0x07;
            minimum = 0x10000;
        } else {
            return false;
        }
        if (i + extra >= text.size()) {
            return false;
        }
        for (int k = 1; k <= extra; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            value = (value << 6) | (next & 0x3F);
        }
        if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

bool IsValidEntryName(std::string_view name) {
    if (name.empty() || name.size() > 255 || name == "." || name == "..") {
        return false;
    }
    if (name.find_first_of(std::string_view("/\\\0", 3)) != std::string_view::npos) {
        return false;
    }
    return IsValidUtf8(name);
}
