// The static entries of Dolphin, Thunar and Nemo as the build configures them: each is a valid
// key file of its kind, offers "发送至Corvena同步目录" and runs corvena-send on the chosen
// paths.

#include <glib.h>

#include "shellext/CountLines.h"
#include "shellext/tests/SendFixture.h"

namespace {

using namespace shellext_test;

struct SEntry {
    const char* why;
    const char* file;   // under the build's entries folder
    const char* group;  // where Name and Exec are
    bool desktopEntry;  // a freedesktop.org desktop entry that desktop-file-validate checks
};

const SEntry kEntries[] = {
    {"Dolphin service menu", "corvena-send.desktop", "Desktop Action corvenaSend", false},
    {"Thunar Send To", "thunar/corvena-send.desktop", "Desktop Entry", true},
    {"Nemo action", "corvena-send.nemo_action", "Nemo Action", false},
};

class EntriesTest : public SendFixture {
  protected:
    static GKeyFile* Load(const SEntry& entry) {
        GKeyFile* keys = g_key_file_new();
        const std::string path = std::string(SHELLEXT_ENTRIES) + "/" + entry.file;
        EXPECT_TRUE(g_key_file_load_from_file(keys, path.c_str(), G_KEY_FILE_NONE, nullptr));
        return keys;
    }
    static std::string Value(GKeyFile* keys, const char* group, const char* key) {
        char* value = g_key_file_get_string(keys, group, key, nullptr);
        std::string text = value != nullptr ? value : "";
        g_free(value);
        return text;
    }
};

TEST_F(EntriesTest, DesktopEntriesValidate) {
    for (const SEntry& entry : kEntries) {
        if (!entry.desktopEntry) {
            continue;
        }
        SCOPED_TRACE(entry.why);
        const SRun run =
            RunProgram({DESKTOP_FILE_VALIDATE, std::string(SHELLEXT_ENTRIES) + "/" + entry.file},
                       {}, m_home.path() / "stderr");
        EXPECT_EQ(run.iExit, 0) << run.strErr;
    }
}

// Dolphin's and Nemo's formats are their own; their keys are checked as those file managers
// read them.
TEST_F(EntriesTest, ServiceMenuAndActionCoverEveryFileAndFolder) {
    GKeyFile* dolphin = Load(kEntries[0]);
    EXPECT_EQ(Value(dolphin, "Desktop Entry", "Type"), "Service");
    EXPECT_EQ(Value(dolphin, "Desktop Entry", "MimeType"), "all/all;");
    EXPECT_EQ(Value(dolphin, "Desktop Entry", "Actions"), "corvenaSend;");
    g_key_file_free(dolphin);

    GKeyFile* nemo = Load(kEntries[2]);
    EXPECT_EQ(Value(nemo, "Nemo Action", "Comment"), kHelpText);
    EXPECT_EQ(Value(nemo, "Nemo Action", "Selection"), "notnone");
    EXPECT_EQ(Value(nemo, "Nemo Action", "Extensions"), "any;");
    g_key_file_free(nemo);
}

// corvena-send itself is tested on its own; here each entry must name it by its installed
// path and hand it the chosen paths as separate arguments.
TEST_F(EntriesTest, EachEntryOffersTheTextAndRunsCorvenaSendOnTheChosenPaths) {
    for (const SEntry& entry : kEntries) {
        SCOPED_TRACE(entry.why);
        GKeyFile* keys = Load(entry);
        EXPECT_EQ(Value(keys, entry.group, "Name"), kMenuText);
        const std::string exec = Value(keys, entry.group, "Exec");
        g_key_file_free(keys);

        int argc = 0;
        char** argv = nullptr;
        ASSERT_TRUE(g_shell_parse_argv(exec.c_str(), &argc, &argv, nullptr)) << exec;
        const std::vector<std::string> args(argv, argv + argc);
        g_strfreev(argv);
        EXPECT_EQ(args, (std::vector<std::string>{CORVENA_SEND_INSTALLED, "%F"}));
    }
}

}  // namespace
