#pragma once
// The text of config.ini as lines, read and changed in memory; CGlobalSetting does the file
// work around it. Sections in square brackets, one key=value line per setting; section and key
// names match without regard to (ASCII) case, blanks around names and values are ignored, a
// value wrapped in a pair of quotes (" or ') is read without them, and the first of two equal
// keys (or sections) wins. Keys before the first section belong to none and are never found.
// Bytes are taken as they come: nothing here decodes UTF-8, so any text can be read.
//
// Not thread-safe; each object is used by one thread.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CIniText {
  public:
    // Splits the text at LF; CRs at the end of a line are dropped. A leading byte-order mark is
    // kept aside and written back by Text().
    explicit CIniText(std::string_view text);

    // The value of the key in the section, or nothing.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;

    // Whether Set can store the three texts so that Find gives the value back: no CR, LF or
    // NUL anywhere; a key that is not empty after trimming, holds no "=" and does not start
    // with "["; a section without "]".
    static bool CanStore(std::string_view section, std::string_view key, std::string_view value);

    // Stores the value under the trimmed section and key names: replaces the key's line, or
    // adds the line after the section's last non-blank line, or appends a new section. Every
    // other line stays as it was. False, with nothing changed, when CanStore refuses the texts.
    bool Set(std::string_view section, std::string_view key, std::string_view value);

    // The lines, each ended by LF, after the byte-order mark when the text began with one.
    std::string Text() const;

  private:
    std::optional<std::size_t> SectionStart(std::string_view section) const;
    std::optional<std::size_t> KeyLine(std::string_view section, std::string_view key) const;
    std::optional<std::size_t> SectionEnd(std::string_view section) const;

    bool m_bByteOrderMark = false;
    std::vector<std::string> m_lines;
};
