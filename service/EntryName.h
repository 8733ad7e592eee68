#pragma once
// Which names an item of a space may have. A name is one path component: it may not be empty,
// "." or "..", contain "/", "\" or NUL, exceed 255 bytes or be anything but UTF-8 (the client
// turns every name into a wide string and joins names with backslashes).

#include <string_view>

bool IsValidEntryName(std::string_view name);
// Well-formed UTF-8: no stray continuation bytes, overlong forms, surrogates or values above
// U+10FFFF.
bool IsValidUtf8(std::string_view text);
