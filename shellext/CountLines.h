#pragma once
// The file-manager entry "发送至Corvena同步目录": copies the first chosen item into the sync
// directory named in config.ini, where the engine picks it up like any new item. The Nautilus
// module and corvena-send (which the Dolphin, Thunar and Nemo entries call) both go through
// this class. It does not talk to the client or the engine.
//
// An object belongs to the thread that made it (the file manager's main thread); the copies
// run on threads of their own (CSendThreads), each with its own source and target.

#include <filesystem>
#include <string>
#include <vector>

inline constexpr const char* kMenuText = "发送至Corvena同步目录";
inline constexpr const char* kHelpText = "这是一个源代码统计程序";
// The language-independent name of the command.
inline constexpr const char* kVerb = "Stat.";
// The command's offset from the first command id the file manager hands out.
inline constexpr unsigned kSendCommand = 102;

class CCountLines {
  public:
    static constexpr int S_OK = 0;
    static constexpr int E_FAIL = -1;

    // Keeps the first of the chosen items (the others are ignored, as in every file manager's
    // entry for one item); with none the command does nothing. Always S_OK.
    int Initialize(const std::vector<std::filesystem::path>& items);
    // The command by offset: kSendCommand sends the item (GetFolderLines) and gives S_OK, any
    // other offset E_FAIL.
    int InvokeCommand(unsigned offset);
    // The command by verb: S_OK for "Stat." in any case, E_FAIL otherwise; does nothing.
    int InvokeCommand(const std::string& verb);

    // Starts copying path into the sync directory on a thread of its own: 0 when started, 1
    // when syncdir does not name an existing folder (nothing happens then). The thread ends
    // with a notice when the item cannot be sent.
    int GetFolderLines(const std::filesystem::path& path);
    // lines = the number of line feeds in the file plus one, result 0; when the file cannot be
    // opened or read (missing, a folder, a read error) lines = -1 and result 1.
    int GetFileLines(const std::filesystem::path& path, long& lines);

    const std::filesystem::path& ItemPath() const { return m_itemPath; }

  private:
    std::filesystem::path m_itemPath;
};
