#pragma once
// config.ini: the few settings that must be readable before the table store is open, or by
// processes that never open it. The file lies in the config folder (plat::ConfigDir()); every
// caller passes the name "config.ini". It is an INI text in UTF-8: sections in square brackets,
// one key=value line per setting; section and key names match without regard to case, blanks
// around names and values are ignored, a value wrapped in a pair of quotes (" or ') is read
// without them, and the first of two equal keys wins. A value that would not read back as
// written (blanks at either end, a pair of quotes around it) is stored wrapped in quotes. Keys of
// section main: user (last account), logLevel (log threshold, set by hand), syncdir (sync
// directory).
//
// Objects are short-lived and cache nothing, so every read sees the file as it is now. A write
// reads the file, changes the one line and replaces the file atomically (mode 0600), keeping
// every other section, key and line; writers inside one process are serialised.

#include <filesystem>
#include <string>

class CGlobalSetting {
  public:
    // Where the settings file of that name lies.
    static std::filesystem::path FilePath(const std::wstring& fileName);

    // Reads user and logLevel of section main; missing file or keys give empty values.
    // Always 0.
    int Load(const std::wstring& fileName);
    // Writes m_wstrUser as user. 0, or -2 when the file cannot be written.
    int Save(const std::wstring& fileName);
    // Writes the sync directory as syncdir (an empty path writes an empty value). 0 or -2.
    int SaveDir(const std::wstring& syncDir, const std::wstring& fileName);
    // Writes one key. 0, or -2 when the file cannot be written or the text cannot be stored
    // in the format: a line break or NUL anywhere, "=" in the key, "]" in the section, or an
    // empty key.
    int SetValue(const std::wstring& section, const std::wstring& key, const std::wstring& value,
                 const std::wstring& fileName);
    // Reads one key into value (empty when missing). Values are cut to their first 1,023
    // characters. Always 0.
    int GetValue(const std::wstring& section, const std::wstring& key, std::wstring& value,
                 const std::wstring& fileName);

    std::wstring m_wstrUser;
    std::wstring m_wstrLogLevel;
};
