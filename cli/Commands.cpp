#include "cli/Commands.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cli/CliOutput.h"
#include "cli/EngineRequest.h"
#include "cli/FrontEnd.h"
#include "cli/StillFailing.h"
#include "cli/TaskText.h"
#include "client/ClientStore.h"
#include "client/EngineLink.h"
#include "client/LoginLogic.h"
#include "client/SettingsLogic.h"
#include "common/AfLog.h"
#include "common/GlobalSetting.h"
#include "common/Utility.h"
#include "engine/SyncDirCheck.h"
#include "platform/SecretInput.h"
#include "rest/UserMgr.h"
#include "store/SyncCodes.h"
#include "store/tablestore/DbBase.h"
#include "store/tablestore/SyncCompleted.h"
#include "store/tablestore/SyncFail.h"
#include "store/tablestore/SyncingTask.h"
#include "store/tablestore/TSyncFile.h"

namespace {

// sync --wait without --timeout.
constexpr unsigned kDefaultSyncTimeoutS = 600;
// The longest --timeout that fits the wait's millisecond count.
constexpr unsigned kMaxSyncTimeoutS = 4000000;

struct TArgs {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    std::set<std::string> flags;

    bool Has(const std::string& option) const {
        return values.count(option) != 0 || flags.count(option) != 0;
    }
    std::string Value(const std::string& option) const {
        auto found = values.find(option);
        return found == values.end() ? std::string() : found->second;
    }
};

struct TCommand {
    const char* name;
    const char* usage;
    const char* help;
    std::vector<std::string> valueOptions;
    std::vector<std::string> flagOptions;
    std::size_t positionals;
    int (*run)(const TArgs&);
};

const char* const kNoEngine = "no engine runs; start one with: corvena-cli run";

std::string Remembered() {
    CGlobalSetting setting;
    setting.Load(L"config.ini");
    return WstringToString(setting.m_wstrUser);
}

// The remembered account, or empty with a line saying to log in.
std::string RequireAccount() {
    std::string account = Remembered();
    if (account.empty()) {
        Complain("not logged in; log in with: corvena-cli login --server HOST --user NAME");
    }
    return account;
}

template <typename Table, typename Record, typename Read>
std::vector<Record> ReadAll(Read read) {
    std::vector<Record> records;
    WithTable<Table>([&](Table& table) { return (table.*read)(records); });
    return records;
}

std::vector<TComand> Queued() {
    return ReadAll<CSyncingTask, TComand>(&CSyncingTask::GetAllSyncingTask);
}
std::vector<SyncFail> Failed() {
    return ReadAll<CSyncFail, SyncFail>(&CSyncFail::GetFailArr);
}
std::vector<SyncCompleted> Completed() {
    return ReadAll<CSyncCompleted, SyncCompleted>(&CSyncCompleted::GetArr);
}
// The local file table: what is synced.
std::vector<TSyncFile> Synced() {
    return ReadAll<CTSyncFile, TSyncFile>(
        static_cast<int (CTSyncFile::*)(std::vector<TSyncFile>&)>(&CTSyncFile::GetFileInfo));
}

// The first line of the file or of standard input, without its line end.
bool ReadPassword(const TArgs& args, std::string& password) {
    if (args.Has("--password-file")) {
        std::ifstream file(args.Value("--password-file"));
        if (!file || !std::getline(file, password)) {
            Complain("cannot read the password from " + args.Value("--password-file"));
            return false;
        }
    } else if (!plat::ReadSecretLine(password)) {
        Complain("no password on standard input");
        return false;
    }
    if (!password.empty() && password.back() == '\r') {
        password.pop_back();
    }
    if (password.empty()) {
        Complain("the password is empty");
        return false;
    }
    return true;
}

std::string LoginFailure(int result) {
    switch (result) {
        case 6:
            return "the service cannot be reached";
        case 22:
            return "the service failed";
        case 8002:
            return "the account is disabled";
        case 8005:
        case 8006:
            return "the account has expired";
        case 8011:
            return "network fault";
        default:
            // The transfer library's own codes: the request never got an answer.
            if (result >= 1 && result <= 89) {
                return "the service cannot be reached";
            }
            return "wrong account name or password";
    }
}

int Login(const TArgs& args) {
    const std::string server = args.Value("--server");
    const std::string name = args.Value("--user");
    if (server.empty() || name.empty() || server.find_first_of(" \t/") != std::string::npos) {
        Complain("login needs --server HOST[:PORT] and --user NAME");
        return EXIT_USAGE;
    }
    std::string password;
    if (!ReadPassword(args, password)) {
        return EXIT_FAILED;
    }
    // The requests go to the server of config.ini; a refused login leaves the one before.
    std::wstring before;
    CGlobalSetting().GetValue(L"main", L"server", before, L"config.ini");
    if (CGlobalSetting().SetValue(L"main", L"server", StringToWstring(server), L"config.ini") !=
        0) {
        Complain("cannot write config.ini");
        return EXIT_FAILED;
    }
    UserInfo user;
    user.strAccount = name;
    user.strPassword = Base64Encode(password);
    const int result = LoginWithService(user);
    AfLog(1, "CorvenaCli", "Login", __LINE__, "Login return code=%d", result);
    if (result != 0) {
        CGlobalSetting().SetValue(L"main", L"server", before, L"config.ini");
        // The login dialog's text where it names the cause (it calls every other transfer
        // error a wrong password).
        const bool bDialogText = result == 6 || result == 22 || result >= 8000;
        Complain("login refused: " + LoginFailure(result) + " (" +
                 (bDialogText ? WstringToString(LoginErrorText(result)) + ", " : std::string()) +
                 std::to_string(result) + ")");
        return EXIT_FAILED;
    }
    CDbBase::SetAccount(name);
    CGlobalSetting setting;
    setting.Load(L"config.ini");
    setting.m_wstrUser = StringToWstring(name);
    setting.Save(L"config.ini");
    SetSystemConfig("NetState", L"1");
    std::string webToken;
    if (CUserMgr(4).GetWebToken(user.strUserId, user.strToken, user.strUserType, webToken) == 0) {
        user.strWebToken = webToken;
    }
    if (WriteUserRecord(user) != 0) {
        Complain("cannot store the account");
        return EXIT_FAILED;
    }
    SetSystemConfig("Stop", L"0");
    PostToEngine(MSG_SETTING_USER, 0, 0);
    Say("logged in as " + name + " on " + server);
    return EXIT_OK;
}

int Folder(const TArgs& args) {
    if (RequireAccount().empty()) {
        return EXIT_FAILED;
    }
    std::error_code ec;
    std::filesystem::path dir =
        std::filesystem::absolute(args.positional[0], ec).lexically_normal();
    if (ec || args.positional[0].empty()) {
        Complain("not a usable path: " + args.positional[0]);
        return EXIT_USAGE;
    }
    if (dir.has_filename() == false && dir != dir.root_path()) {
        dir = dir.parent_path();
    }
    std::string why;
    if (IsRefusedSyncDir(dir, why)) {
        Complain("the engine does not sync " + dir.string() + ": " + why);
        return EXIT_FAILED;
    }
    const std::wstring wdir = StringToWstring(dir.string());
    const int kind = JudgeFolder(wdir);
    if (kind == 1) {
        Complain(dir.string() + " is not a folder");
        return EXIT_FAILED;
    }
    if (kind == -1 && !std::filesystem::create_directories(dir, ec) && ec) {
        Complain("cannot create " + dir.string() + ": " + ec.message());
        return EXIT_FAILED;
    }
    const std::wstring before = GetSystemConfig("SyncDir");
    if (CGlobalSetting().SaveDir(wdir, L"config.ini") != 0 ||
        SetSystemConfig("SyncDir", wdir) != 0) {
        Complain("cannot store the sync folder");
        return EXIT_FAILED;
    }
    Say("sync folder: " + dir.string());
    if (before != wdir && IsEngineWindowPresent()) {
        // The engine watches the folder it started with and keeps its path: ended here, it is
        // started again on the new one by its front end's watchdog.
        StopEngine();
        Say("the engine starts again on the new folder");
    }
    return EXIT_OK;
}

int Run(const TArgs& args) {
    return RunFrontEnd(args.Has("--quiet"));
}

int Status(const TArgs&) {
    TEngineState state;
    const bool bRunning = IsEngineWindowPresent() && CEngineRequest().AskState(state);
    std::size_t queued = 0;
    std::size_t failed = 0;
    if (!Remembered().empty()) {
        queued = Queued().size();
        failed = Failed().size();
    }
    const std::string word =
        bRunning ? StateWord(state.status, state.flags, state.held) : "stopped";
    Say(word + " (" + std::to_string(queued) + " queued, " + std::to_string(failed) + " failed)");
    if (!bRunning) {
        Complain(kNoEngine);
        return EXIT_STOPPED;
    }
    return EXIT_OK;
}

bool ParseSeconds(const std::string& text, unsigned& seconds) {
    if (text.empty() || text.size() > 7 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    seconds = static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 10));
    return seconds <= kMaxSyncTimeoutS;
}

int Sync(const TArgs& args) {
    const bool bWait = args.Has("--wait");
    unsigned seconds = kDefaultSyncTimeoutS;
    if (args.Has("--timeout") && !ParseSeconds(args.Value("--timeout"), seconds)) {
        Complain("--timeout takes a whole number of seconds (0: no limit)");
        return EXIT_USAGE;
    }
    if (!IsEngineWindowPresent()) {
        Complain(kNoEngine);
        return EXIT_NOT_DONE;
    }
    int iLastFail = 0;
    for (const SyncFail& fail : Failed()) {
        iLastFail = std::max(iLastFail, fail.iFailAutoKey);
    }
    int result = SYNC_DONE_OK;
    switch (CEngineRequest().SyncNow(bWait, seconds * 1000, result)) {
        case SYNC_WAIT_NO_ENGINE:
            Complain("the engine ended before the sync finished");
            return EXIT_NOT_DONE;
        case SYNC_WAIT_TIMEOUT:
            Complain("the sync did not finish within " + std::to_string(seconds) + " seconds");
            return EXIT_NOT_DONE;
        case SYNC_WAIT_DONE:
            break;
    }
    if (!bWait) {
        Say("comparison started");
        return EXIT_OK;
    }
    switch (result) {
        case SYNC_DONE_PAUSED:
            Complain("sync is paused; resume it with: corvena-cli resume");
            return EXIT_NOT_DONE;
        case SYNC_DONE_OFFLINE:
            Complain("the service cannot be reached");
            return EXIT_NOT_DONE;
        case SYNC_DONE_ENDING:
            Complain("the engine ended before the sync finished");
            return EXIT_NOT_DONE;
        default:
            break;
    }
    const std::wstring syncDir = GetSystemConfig("SyncDir");
    const std::vector<SyncFail> failing = StillFailing(Failed(), iLastFail, Synced(), syncDir);
    for (const SyncFail& fail : failing) {
        Say("failed: " + FailLine(fail, syncDir));
    }
    const std::size_t failures = failing.size();
    if (result == SYNC_DONE_COMPARE_FAILED) {
        Complain("the comparison failed: the service's listing could not be read");
        return EXIT_FAILED;
    }
    if (failures != 0) {
        Complain(std::to_string(failures) + " tasks failed");
        return EXIT_FAILED;
    }
    if (result == SYNC_DONE_DROPPED) {
        // Not a failure of their own: they are still to be done.
        Complain("tasks were dropped before they ran; a later comparison queues them again");
        return EXIT_NOT_DONE;
    }
    Say("synced");
    return EXIT_OK;
}

// Posts a pause or a resume and asks for the state after it (the engine handles its messages
// in order): EXIT_OK when the pause bit is as wanted.
int SetPaused(bool bPause) {
    if (!PostToEngine(bPause ? MSG_SETTING_PAUSESYNC : MSG_SETTING_RESUMESYNC, 0, 0)) {
        Complain(kNoEngine);
        return EXIT_FAILED;
    }
    SetSystemConfig("Stop", bPause ? L"1" : L"0");
    TEngineState state;
    if (!CEngineRequest().AskState(state) ||
        ((state.flags & (1u << MSYNC_FLAG_PAUSE)) != 0) != bPause) {
        Complain("the engine did not confirm it");
        return EXIT_FAILED;
    }
    Say(bPause ? "paused" : "resumed");
    return EXIT_OK;
}

int Pause(const TArgs&) {
    return SetPaused(true);
}

int Resume(const TArgs&) {
    return SetPaused(false);
}

std::string LimitText(const std::string& kib) {
    return kib == "0" ? "no limit" : kib + " KiB/s";
}

int Limit(const TArgs& args) {
    if (!args.Has("--up") && !args.Has("--down")) {
        Complain("limit needs --up KIB and/or --down KIB (0: no limit)");
        return EXIT_USAGE;
    }
    auto pick = [&](const char* option, const char* key) {
        if (args.Has(option)) {
            return args.Value(option);
        }
        const std::string stored = WstringToString(GetSystemConfig(key));
        return IsValidSpeed(stored) ? stored : std::string("0");
    };
    const std::string up = pick("--up", "USpeed");
    const std::string down = pick("--down", "DSpeed");
    for (const auto& [option, value] : {std::pair{"--up", up}, std::pair{"--down", down}}) {
        if (!IsValidSpeed(value)) {
            Complain(std::string(option) + " takes a whole number of KiB/s from 0 to 1048576");
            return EXIT_USAGE;
        }
    }
    const std::string upText = std::to_string(std::atoi(up.c_str()));
    const std::string downText = std::to_string(std::atoi(down.c_str()));
    if (ApplySpeeds(upText != "0" || downText != "0", upText, downText) != SPEED_OK) {
        Complain(kNoEngine);
        return EXIT_FAILED;
    }
    Say("upload: " + LimitText(upText) + ", download: " + LimitText(downText));
    return EXIT_OK;
}

int ConfirmDeletions(const TArgs&) {
    TEngineState state;
    if (!IsEngineWindowPresent() || !CEngineRequest().AskState(state)) {
        Complain(kNoEngine);
        return EXIT_FAILED;
    }
    if (state.held == 0) {
        Say("no deletions are held");
        return EXIT_OK;
    }
    if (!PostToEngine(MSG_RELEASE_DELETIONS, 0, 0)) {
        Complain(kNoEngine);
        return EXIT_FAILED;
    }
    Say("confirmed " + std::to_string(state.held) + " held deletions; they are carried out now");
    return EXIT_OK;
}

// One of the sync detail window's lists, one item a line.
template <typename Record>
int PrintList(const std::vector<Record>& records,
              std::string (*line)(const Record&, const std::wstring&)) {
    const std::wstring syncDir = GetSystemConfig("SyncDir");
    for (const Record& record : records) {
        Say(line(record, syncDir));
    }
    return EXIT_OK;
}

std::string CompletedLine(const SyncCompleted& done, const std::wstring& syncDir) {
    return TaskLine(done.tComand, syncDir);
}

int Queue(const TArgs&) {
    return RequireAccount().empty() ? EXIT_FAILED : PrintList(Queued(), &TaskLine);
}

int CompletedList(const TArgs&) {
    return RequireAccount().empty() ? EXIT_FAILED : PrintList(Completed(), &CompletedLine);
}

int FailedList(const TArgs&) {
    return RequireAccount().empty() ? EXIT_FAILED : PrintList(Failed(), &FailLine);
}

int Logout(const TArgs&) {
    const std::string account = Remembered();
    if (account.empty()) {
        Say("not logged in");
        return EXIT_OK;
    }
    const std::wstring syncDir = GetSystemConfig("SyncDir");
    // Forgotten first, so that no front end starts the engine again on the account while its
    // tables go.
    CDbBase::SetAccount(account);
    CGlobalSetting setting;
    setting.m_wstrUser.clear();
    setting.Save(L"config.ini");
    if (!StopEngine()) {
        Complain("the engine did not end; the account's data is left as it is");
        setting.m_wstrUser = StringToWstring(account);
        setting.Save(L"config.ini");
        return EXIT_FAILED;
    }
    ClearAccountData(StringToWstring(account));
    Say("logged out " + account + "; the files in " + WstringToString(syncDir) +
        " are left as they are");
    return EXIT_OK;
}

const std::vector<TCommand>& Commands() {
    static const std::vector<TCommand> commands = {
        {"login",
         "login --server HOST[:PORT] --user NAME [--password-file FILE]",
         "Logs in with the account API and stores the account as the desktop client does. The\n"
         "password is the first line of standard input, or of FILE.",
         {"--server", "--user", "--password-file"},
         {},
         0,
         &Login},
        {"folder",
         "folder PATH",
         "Chooses the sync directory (created when missing). A running engine starts again on\n"
         "it.",
         {},
         {},
         1,
         &Folder},
        {"run",
         "run [--quiet]",
         "Starts the engine and supervises it in the foreground, printing one line per engine\n"
         "message; SIGINT or SIGTERM ends the engine and the run. --quiet prints only\n"
         "problems. Refused while the desktop client or another run is the front end.",
         {},
         {"--quiet"},
         0,
         &Run},
        {"status",
         "status",
         "Prints the state (synced, syncing, finding, idle, paused, offline, held or stopped)\n"
         "and the numbers of queued and failed tasks. Exit 0 with an engine running, else 3.",
         {},
         {},
         0,
         &Status},
        {"sync",
         "sync [--wait] [--timeout SECONDS]",
         "Starts a comparison now. With --wait, returns once it and every task it queued have\n"
         "finished: exit 0 when all succeeded, 1 while tasks still fail (listed, also those\n"
         "that failed before the request), 2 when the time (default 600 s, 0: no limit)\n"
         "passed, sync is paused, queued tasks were dropped before they ran (a later\n"
         "comparison queues them again) or no engine runs.",
         {"--timeout"},
         {"--wait"},
         0,
         &Sync},
        {"pause",
         "pause",
         "Pauses sync: nothing is compared or transferred until resume.",
         {},
         {},
         0,
         &Pause},
        {"resume", "resume", "Resumes a paused sync.", {}, {}, 0, &Resume},
        {"limit",
         "limit --up KIB --down KIB",
         "Sets the upload and download limits in KiB/s (0: no limit; 0 to 1048576).",
         {"--up", "--down"},
         {},
         0,
         &Limit},
        {"confirm-deletions",
         "confirm-deletions",
         "Confirms the deletions the engine held back (most of what is synced would go); they\n"
         "are carried out at once.",
         {},
         {},
         0,
         &ConfirmDeletions},
        {"queue",
         "queue",
         "Lists the queued tasks: path and operation, one a line.",
         {},
         {},
         0,
         &Queue},
        {"completed",
         "completed",
         "Lists the completed tasks: path and operation, one a line.",
         {},
         {},
         0,
         &CompletedList},
        {"failed",
         "failed",
         "Lists the failed tasks: path, operation and reason, one a line.",
         {},
         {},
         0,
         &FailedList},
        {"logout",
         "logout",
         "Ends the engine and forgets the account: its tables are dropped; the files in the\n"
         "sync directory are left as they are.",
         {},
         {},
         0,
         &Logout},
    };
    return commands;
}

void PrintOverview() {
    Say("usage: corvena-cli COMMAND [OPTIONS]\n\nKeeps a folder in step with a storage "
        "account, without a desktop.\n\ncommands:");
    for (const TCommand& command : Commands()) {
        Say("  " + std::string(command.usage));
    }
    Say("\ncorvena-cli COMMAND --help describes one command. State lives under $CORVENA_HOME,\n"
        "else the XDG folders.");
}

void PrintHelp(const TCommand& command) {
    Say("usage: corvena-cli " + std::string(command.usage) + "\n\n" + command.help);
}

bool Contains(const std::vector<std::string>& list, const std::string& text) {
    return std::find(list.begin(), list.end(), text) != list.end();
}

// Empty when the arguments fit the command, else what is wrong.
std::string Parse(const TCommand& command, int argc, char** argv, TArgs& args) {
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("--", 0) != 0 || arg == "--") {
            args.positional.push_back(arg);
            continue;
        }
        std::string value;
        const bool bInline = arg.find('=') != std::string::npos;
        if (bInline) {
            value = arg.substr(arg.find('=') + 1);
            arg = arg.substr(0, arg.find('='));
        }
        if (Contains(command.valueOptions, arg)) {
            if (!bInline) {
                if (i + 1 >= argc) {
                    return arg + " needs a value";
                }
                value = argv[++i];
            }
            args.values[arg] = value;
        } else if (Contains(command.flagOptions, arg) && !bInline) {
            args.flags.insert(arg);
        } else {
            return "unknown option " + arg;
        }
    }
    if (args.positional.size() != command.positionals) {
        return command.positionals == 0 ? "unexpected argument " + args.positional.front()
                                        : "wrong number of arguments";
    }
    return {};
}

}  // namespace

int RunCommandLine(int argc, char** argv) {
    if (argc < 2) {
        PrintOverview();
        return EXIT_USAGE;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintOverview();
        return EXIT_OK;
    }
    for (const TCommand& command : Commands()) {
        if (name != command.name) {
            continue;
        }
        for (int i = 2; i < argc; ++i) {
            if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
                PrintHelp(command);
                return EXIT_OK;
            }
        }
        TArgs args;
        const std::string wrong = Parse(command, argc, argv, args);
        if (!wrong.empty()) {
            Complain(wrong + "; usage: corvena-cli " + command.usage);
            return EXIT_USAGE;
        }
        return command.run(args);
    }
    Complain("unknown command " + name + "; corvena-cli --help lists the commands");
    return EXIT_USAGE;
}
