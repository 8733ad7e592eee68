#include "client/MainDialog.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <fstream>

#include "client/ClientSession.h"
#include "client/ClientStore.h"
#include "client/Communication.h"
#include "client/EngineLauncher.h"
#include "client/LoginDialog.h"
#include "client/LoginLogic.h"
#include "client/tests/ClientRig.h"
#include "client/tests/EngineWindow.h"
#include "client/tests/QtTestSupport.h"
#include "common/GlobalSetting.h"
#include "platform/ProcessList.h"
#include "store/tablestore/DbBase.h"
#include "testing/ManualClock.h"
#include "testing/RefServiceProcess.h"
#include "testing/TempHome.h"
#include "testing/WaitUntil.h"

namespace {

namespace fs = std::filesystem;
using testing_support::AnswerNextMessageBox;
using testing_support::CEngineWindow;
using testing_support::CRefServiceProcess;
using testing_support::RememberAccount;
using testing_support::TestApp;
using testing_support::WaitUntil;

// A program that stands in for the engine: a copy of sleep under a name of its own.
class CStandInEngine : public testing_support::CEngineCopy {
  public:
    explicit CStandInEngine(const fs::path& folder) : CEngineCopy("/bin/sleep", folder) {}
};

TEST(EngineLauncherTest, StartsWithTheThreadIdAndTheWatchdogRestartsIt) {
    testing_support::TempHome home;
    CStandInEngine engine(home.path() / "bin");
    CEngineLauncher missing(home.path() / "bin" / "absent");
    EXPECT_EQ(missing.StartEngine(4242), 1);

    testing_support::ManualClock clock;
    CCommunication::Get().m_bEngineStarted = false;
    CEngineLauncher launcher(engine.Path());
    launcher.StartWatchdog();
    ASSERT_EQ(launcher.StartEngine(4242), 0);
    EXPECT_TRUE(CCommunication::Get().m_bEngineStarted);
    ASSERT_TRUE(engine.WaitForOne());
    EXPECT_EQ(CStandInEngine::Arguments(engine.Running()[0]), std::vector<std::string>{"4242"})
        << "the decimal id is the only argument";

    engine.KillAll();
    testing_support::ManualClock::AdvanceWhenWaiting(1, std::chrono::milliseconds(500));
    EXPECT_TRUE(engine.Running().empty()) << "no restart before the sync directory is adopted";

    launcher.m_bWatchEngine = true;
    testing_support::ManualClock::AdvanceWhenWaiting(1, std::chrono::milliseconds(500));
    ASSERT_TRUE(engine.WaitForOne()) << "a killed engine is started again on the next 500 ms tick";
    EXPECT_EQ(CStandInEngine::Arguments(engine.Running()[0]), std::vector<std::string>{"4242"});

    CCommunication::Get().m_bEngineStarted = false;
    engine.KillAll();
    testing_support::ManualClock::AdvanceWhenWaiting(1, std::chrono::milliseconds(500));
    EXPECT_TRUE(engine.Running().empty()) << "after the close sequence it stays stopped";
}

class MainDialogTest : public ::testing::Test {
  protected:
    MainDialogTest()
        : service_(REFSERVICE_PATH, home_.path() / "service", "alice", "secret"),
          engine_(home_.path() / "bin") {
        TestApp();
        std::string address = service_.Address();
        CGlobalSetting().SetValue(L"main", L"server", std::wstring(address.begin(), address.end()),
                                  L"config.ini");
        CDbBase::SetAccount("alice");
        CClientSession::Get().SetUser(UserInfo());
        CClientSession::Get().SetSyncDir(L"");
        messages_ = std::thread([] { CCommunication::Get().MessageThread(); });
        WaitUntil([] { return CCommunication::Get().MessageThreadId() != 0; });
    }
    ~MainDialogTest() override {
        CCommunication::Get().StopMessageThread();
        messages_.join();
        CCommunication::Get().m_bEngineStarted = false;
    }
    MainOptions Options() {
        MainOptions options;
        options.enginePath = engine_.Path();
        options.trayPresent = [] { return false; };
        options.trayWaitMs = 0;
        options.prompts.chooseFolder = [this](QWidget*) { return chosen_; };
        options.prompts.useExisting = [](QWidget*, const QString&) { return true; };
        options.quit = [this](int code) { quits_.push_back(code); };
        options.restartClient = [this] { ++restarts_; };
        return options;
    }

    testing_support::TempHome home_;
    CRefServiceProcess service_;
    CStandInEngine engine_;
    std::thread messages_;
    QString chosen_;
    std::vector<int> quits_;
    int restarts_ = 0;
};

TEST_F(MainDialogTest, ASilentStartAdoptsTheDirectoryStartsTheEngineAndCloses) {
    fs::path dir = home_.path() / "Corvena";
    fs::create_directories(dir);
    RememberAccount(dir);
    CCorvenaDlg dialog(Options());
    ASSERT_TRUE(dialog.Start());
    EXPECT_FALSE(dialog.isVisible()) << "the first-run page is not needed";
    EXPECT_EQ(CClientSession::Get().SyncDir(), dir.wstring());
    EXPECT_TRUE(dialog.Tray().IsSyncDirAdopted());
    QApplication::processEvents();
    EXPECT_EQ(dialog.Tray().Icon().ShownTip(), QStringLiteral("Corvena"));
    EXPECT_TRUE(dialog.Launcher().m_bWatchEngine);
    ASSERT_TRUE(WaitUntil([&] { return engine_.Running().size() == 1; }));
    EXPECT_EQ(CStandInEngine::Arguments(engine_.Running()[0]),
              std::vector<std::string>{std::to_string(CCommunication::Get().MessageThreadId())});
    UserInfo stored;
    ASSERT_EQ(ReadUserRecord(stored), 0);
    EXPECT_FALSE(stored.strToken.empty());
    EXPECT_FALSE(stored.strWebToken.empty()) << "the web token is fetched at start";
    EXPECT_EQ(GetSystemConfig("NetState"), L"1");
    EXPECT_EQ(GetSystemConfig("Stop"), L"0");

    CEngineWindow window;
    dialog.CloseSequence();
    EXPECT_TRUE(window.WaitFor(MSG_ENGINE_EXIT));
    EXPECT_EQ(plat::FindWindow(L"Ostrand"), nullptr) << "the close waits for the engine window";
    EXPECT_FALSE(CCommunication::Get().m_bEngineStarted);
    EXPECT_EQ(quits_, std::vector<int>{0});
}

TEST_F(MainDialogTest, AVanishedSyncDirectoryResetsTheAccountAndRestarts) {
    RememberAccount(home_.path() / "gone");
    fs::path tables = home_.path() / "data" / "user" / "alice";
    ASSERT_TRUE(fs::exists(tables / "User.db"));
    CCorvenaDlg dialog(Options());
    auto seen = AnswerNextMessageBox();
    EXPECT_FALSE(dialog.Start());
    EXPECT_TRUE(seen->seen);
    EXPECT_TRUE(seen->text.contains(QStringLiteral("已不存在")));
    EXPECT_EQ(restarts_, 1);
    EXPECT_EQ(quits_, std::vector<int>{0});
    CGlobalSetting setting;
    setting.Load(L"config.ini");
    EXPECT_TRUE(setting.m_wstrUser.empty());
    EXPECT_FALSE(fs::exists(tables / "User.db"));
    EXPECT_FALSE(fs::exists(tables / "Sync.db"));
    EXPECT_TRUE(engine_.Running().empty());
}

TEST_F(MainDialogTest, FirstRunLogsInThroughTheDialogAndChoosesTheDirectory) {
    // The login window comes up: fill it in and log in.
    QTimer filler;
    filler.setInterval(10);
    QObject::connect(&filler, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* login = qobject_cast<CLogInDlg*>(widget);
            if (login != nullptr && login->isVisible()) {
                filler.stop();
                EXPECT_TRUE(testing_support::Screenshot(login, "login-at-start"));
                login->AccountBox()->setText("alice");
                login->PasswordBox()->setText("secret");
                login->LoginButton()->click();
            }
        }
    });
    filler.start();
    CCorvenaDlg dialog(Options());
    ASSERT_TRUE(dialog.Start());
    EXPECT_TRUE(dialog.isVisible()) << "no directory yet: the first-run page shows";
    EXPECT_EQ(dialog.Tray().PopupInUse(), POPUP_NO_SYNCDIR);
    EXPECT_TRUE(dialog.DirBox()->text().endsWith(QStringLiteral("/Corvena")));
    EXPECT_TRUE(testing_support::Screenshot(&dialog, "first-run"));

    dialog.DirBox()->clear();
    auto empty = AnswerNextMessageBox();
    QTest::mouseClick(dialog.StartButton(), Qt::LeftButton);
    EXPECT_EQ(empty->text, QStringLiteral("请设置同步文件夹目录!"));

    chosen_ = QString::fromStdString((home_.path() / "docs").string());
    QTest::mouseClick(dialog.BrowseButton(), Qt::LeftButton);
    fs::path dir = home_.path() / "docs" / "Corvena";
    EXPECT_EQ(dialog.DirBox()->text().toStdString(), dir.string());
    QTest::mouseClick(dialog.StartButton(), Qt::LeftButton);
    EXPECT_TRUE(fs::is_directory(dir));
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(GetSystemConfig("SyncDir"), dir.wstring());
    std::wstring saved;
    CGlobalSetting().GetValue(L"main", L"syncdir", saved, L"config.ini");
    EXPECT_EQ(saved, dir.wstring());
    CGlobalSetting setting;
    setting.Load(L"config.ini");
    EXPECT_EQ(setting.m_wstrUser, L"alice") << "the account is remembered";
    EXPECT_TRUE(dialog.Tray().IsSyncDirAdopted());
    EXPECT_TRUE(dialog.Launcher().m_bWatchEngine);
    dialog.CloseSequence();
}

TEST_F(MainDialogTest, AMissingEngineProgramEndsTheStart) {
    fs::path dir = home_.path() / "Corvena";
    fs::create_directories(dir);
    RememberAccount(dir);
    MainOptions options = Options();
    options.enginePath = home_.path() / "bin" / "absent";
    CCorvenaDlg dialog(options);
    auto seen = AnswerNextMessageBox();
    EXPECT_FALSE(dialog.Start());
    EXPECT_EQ(seen->text, QStringLiteral("系统错误，请卸载后重新安装！"));
    EXPECT_EQ(quits_, std::vector<int>{0});
}

}  // namespace
