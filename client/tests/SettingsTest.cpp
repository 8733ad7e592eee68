#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <fstream>

#include "client/ClientSession.h"
#include "client/ClientStore.h"
#include "client/SettingsDialog.h"
#include "client/SettingsLogic.h"
#include "client/tests/EngineWindow.h"
#include "client/tests/QtTestSupport.h"
#include "common/GlobalSetting.h"
#include "store/SyncCodes.h"
#include "store/tablestore/DbBase.h"
#include "testing/TempHome.h"

namespace {

namespace fs = std::filesystem;
using testing_support::AnswerNextMessageBox;
using testing_support::CEngineWindow;
using testing_support::TestApp;

TEST(SettingsLogicTest, SpeedLimitsAreWholeNumbersUpTo1048576) {
    struct Row {
        const char* text;
        bool valid;
    };
    for (const Row& row :
         {Row{"0", true}, Row{"1048576", true}, Row{"0001024", true}, Row{"1048577", false},
          Row{"12345678", false}, Row{"", false}, Row{"-1", false}, Row{"12a", false},
          Row{" 12", false}, Row{"9999999", false}}) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(IsValidSpeed(row.text), row.valid);
    }
    EXPECT_EQ(ProposedSyncDir(L"/home/u/"), L"/home/u/Corvena");
    EXPECT_EQ(ProposedSyncDir(L"/home/u"), L"/home/u/Corvena");
    EXPECT_EQ(ProposedSyncDir(L"/"), L"/Corvena");
}

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

std::string Read(const fs::path& file) {
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class SettingsTest : public ::testing::Test {
  protected:
    SettingsTest() {
        TestApp();
        setenv("XDG_CONFIG_HOME", (home_.path() / "xdg").c_str(), 1);
        CDbBase::SetAccount("alice");
        UserInfo user;
        user.strAccount = "alice";
        user.strPassword = "c2VjcmV0";
        CClientSession::Get().SetUser(user);
        CClientSession::Get().SetSyncDir(oldDir_.wstring());
        CGlobalSetting setting;
        setting.m_wstrUser = L"alice";
        setting.Save(L"config.ini");
        Write(oldDir_ / "a.txt", "alpha");
        Write(oldDir_ / "文档" / "b.txt", "beta");
    }
    ~SettingsTest() override { unsetenv("XDG_CONFIG_HOME"); }

    SettingsActions Actions() {
        SettingsActions actions;
        actions.prompts.chooseFolder = [this](QWidget*) { return chosen_; };
        actions.prompts.useExisting = [this](QWidget*, const QString&) { return useExisting_; };
        actions.restartClient = [this] { ++restarts_; };
        actions.confirmUnbind = [](QWidget*) { return true; };
        return actions;
    }
    std::shared_ptr<testing_support::TBoxSeen> ClickOk(CSettingDlg& dialog) {
        auto seen = AnswerNextMessageBox();
        QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
        QApplication::processEvents();
        return seen;
    }

    testing_support::TempHome home_;
    fs::path oldDir_ = home_.path() / "Corvena";
    QString chosen_;
    bool useExisting_ = false;
    int restarts_ = 0;
};

TEST_F(SettingsTest, SpeedLimitsAreCheckedStoredAndSent) {
    CEngineWindow engine;
    struct Row {
        const char* why;
        QString upload;
        QString download;
        QString text;
    };
    for (const Row& row :
         {Row{"upload too large", "1048577", "10", "上传速度设置有误, 请输入0-1048576的整数"},
          Row{"upload of 8 characters", "12345678", "10",
              "上传速度设置有误, 请输入0-1048576的整数"},
          Row{"download not a number", "10", "abc", "下载速度设置有误, 请输入0-1048576的整数"}}) {
        SCOPED_TRACE(row.why);
        CSettingDlg dialog(Actions());
        dialog.CustomRadio()->setChecked(true);
        dialog.UploadBox()->setText(row.upload);
        dialog.DownloadBox()->setText(row.download);
        auto seen = ClickOk(dialog);
        ASSERT_TRUE(seen->seen);
        EXPECT_EQ(seen->text, row.text);
        EXPECT_EQ(seen->caption, QStringLiteral("Corvena同步盘"));
        EXPECT_EQ(GetSystemConfig("SetSpeed"), L"") << "nothing stored";
    }
    EXPECT_TRUE(engine.Messages().empty());

    CSettingDlg dialog(Actions());
    EXPECT_FALSE(dialog.UploadBox()->isEnabled());
    dialog.CustomRadio()->setChecked(true);
    EXPECT_TRUE(dialog.UploadBox()->isEnabled());
    dialog.UploadBox()->setText("1048576");
    dialog.DownloadBox()->setText("200");
    auto seen = ClickOk(dialog);
    EXPECT_FALSE(seen->seen);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    ASSERT_TRUE(engine.WaitFor(MSG_SETTING_MAXSPEED));
    EXPECT_EQ(engine.Last(MSG_SETTING_MAXSPEED).wParam, 1048576u);
    EXPECT_EQ(engine.Last(MSG_SETTING_MAXSPEED).lParam, 200);
    EXPECT_EQ(GetSystemConfig("SetSpeed"), L"1");
    EXPECT_EQ(GetSystemConfig("USpeed"), L"1048576");
    EXPECT_EQ(CClientSession::Get().UploadLimit(), "1048576");

    CSettingDlg unlimited(Actions());
    EXPECT_TRUE(unlimited.CustomRadio()->isChecked()) << "the stored mode comes back";
    EXPECT_EQ(unlimited.DownloadBox()->text(), QStringLiteral("200"));
    unlimited.UnlimitedRadio()->setChecked(true);
    unlimited.DownloadBox()->setText("");
    ClickOk(unlimited);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return engine.Messages().size() == 2; },
                                           std::chrono::seconds(10)));
    EXPECT_EQ(engine.Messages().back().wParam, 0u);
    EXPECT_EQ(engine.Messages().back().lParam, 0);
    EXPECT_EQ(GetSystemConfig("SetSpeed"), L"0");
    EXPECT_EQ(GetSystemConfig("DSpeed"), L"0") << "an empty text is stored as 0";
    CClientSession::Get().SetLimits("", "");
}

TEST_F(SettingsTest, WithoutTheEngineNothingIsApplied) {
    CSettingDlg dialog(Actions());
    dialog.AutostartBox()->setChecked(true);
    auto seen = ClickOk(dialog);
    ASSERT_TRUE(seen->seen);
    EXPECT_EQ(seen->text, QStringLiteral("同步程序未正常运行，无法继续此操作！"));
    EXPECT_FALSE(fs::exists(AutostartFile()));
}

TEST_F(SettingsTest, AutostartWritesAndRemovesTheDesktopEntry) {
    CEngineWindow engine;
    EXPECT_EQ(AutostartFile(), home_.path() / "xdg" / "autostart" / "Corvena.desktop");
    CSettingDlg on(Actions());
    on.AutostartBox()->setChecked(true);
    ClickOk(on);
    ASSERT_TRUE(fs::exists(AutostartFile()));
    EXPECT_NE(Read(AutostartFile()).find("Exec="), std::string::npos);
    EXPECT_EQ(GetSystemConfig("AutoRun"), L"1");

    CSettingDlg off(Actions());
    EXPECT_TRUE(off.AutostartBox()->isChecked());
    off.AutostartBox()->setChecked(false);
    ClickOk(off);
    EXPECT_FALSE(fs::exists(AutostartFile()));
    EXPECT_EQ(GetSystemConfig("AutoRun"), L"0");
}

TEST_F(SettingsTest, MovingLeavesACompleteCopyAndTheOldDirectoryUntouched) {
    CEngineWindow engine;
    std::wstring moved;
    SettingsActions actions = Actions();
    actions.syncDirMoved = [&](const std::wstring& dir) { moved = dir; };
    CSettingDlg dialog(actions);
    EXPECT_TRUE(testing_support::Screenshot(&dialog, "settings"));
    chosen_ = QString::fromStdString((home_.path() / "new").string());
    QTest::mouseClick(dialog.MoveButton(), Qt::LeftButton);
    fs::path newDir = home_.path() / "new" / "Corvena";
    EXPECT_EQ(dialog.SyncDirBox()->text().toStdString(), newDir.string());
    EXPECT_FALSE(fs::exists(newDir)) << "nothing moves before OK";
    ClickOk(dialog);

    EXPECT_TRUE(engine.WaitFor(MSG_ENGINE_EXIT)) << "the engine is stopped before the copy";
    EXPECT_EQ(Read(newDir / "a.txt"), "alpha");
    EXPECT_EQ(Read(newDir / "文档" / "b.txt"), "beta");
    EXPECT_EQ(Read(oldDir_ / "a.txt"), "alpha");
    EXPECT_EQ(Read(oldDir_ / "文档" / "b.txt"), "beta");
    EXPECT_EQ(moved, newDir.wstring());
    EXPECT_EQ(CClientSession::Get().SyncDir(), newDir.wstring());
    EXPECT_EQ(GetSystemConfig("SyncDir"), newDir.wstring());
    std::wstring saved;
    CGlobalSetting().GetValue(L"main", L"syncdir", saved, L"config.ini");
    EXPECT_EQ(saved, newDir.wstring());
}

TEST_F(SettingsTest, AMoveIntoItselfOrAnExistingFolderDeclinedChangesNothing) {
    CEngineWindow engine;
    chosen_ = QString::fromStdString(oldDir_.string());
    {
        CSettingDlg dialog(Actions());
        QTest::mouseClick(dialog.MoveButton(), Qt::LeftButton);
        auto seen = ClickOk(dialog);
        ASSERT_TRUE(seen->seen);
        EXPECT_EQ(seen->text, QStringLiteral("不支持此目录为同步文件夹！"));
        EXPECT_FALSE(fs::exists(oldDir_ / "Corvena"));
        EXPECT_FALSE(engine.WaitFor(MSG_ENGINE_EXIT, std::chrono::milliseconds(0)))
            << "the engine is stopped only for a move that goes ahead";
    }
    fs::path other = home_.path() / "other";
    Write(other / "Corvena" / "a.txt", "mine");
    chosen_ = QString::fromStdString(other.string());
    {
        CSettingDlg dialog(Actions());
        QTest::mouseClick(dialog.MoveButton(), Qt::LeftButton);
        ClickOk(dialog);
        EXPECT_EQ(CClientSession::Get().SyncDir(), oldDir_.wstring()) << "declined";
    }
    useExisting_ = true;
    {
        CSettingDlg dialog(Actions());
        QTest::mouseClick(dialog.MoveButton(), Qt::LeftButton);
        ClickOk(dialog);
        EXPECT_EQ(CClientSession::Get().SyncDir(), (other / "Corvena").wstring());
        EXPECT_EQ(Read(other / "Corvena" / "a.txt"), "mine") << "an existing file is kept";
        EXPECT_EQ(Read(other / "Corvena" / "文档" / "b.txt"), "beta");
    }
}

TEST_F(SettingsTest, UnbindingAndForgettingThePasswordStartANewClient) {
    CSettingDlg dialog(Actions());
    EXPECT_EQ(dialog.BindingLabel()->text(), QStringLiteral("本电脑已与alice的账号关联"));
    QTest::mouseClick(dialog.UnbindButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.IsBound());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(restarts_, 1);
    CGlobalSetting setting;
    setting.Load(L"config.ini");
    EXPECT_TRUE(setting.m_wstrUser.empty());
    QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected) << "cancelling after unbinding ends the client";

    CSettingDlg bound(Actions());
    QTest::mouseClick(bound.CancelButton(), Qt::LeftButton);
    EXPECT_EQ(bound.result(), QDialog::Accepted);

    WriteUserRecord(CClientSession::Get().User());
    CSettingDlg forget(Actions());
    QTest::mouseClick(forget.ForgetButton(), Qt::LeftButton);
    EXPECT_EQ(forget.result(), QDialog::Rejected);
    EXPECT_EQ(restarts_, 2);
    EXPECT_TRUE(CClientSession::Get().User().strPassword.empty());
    UserInfo stored;
    ASSERT_EQ(ReadUserRecord(stored), 0);
    EXPECT_TRUE(stored.strPassword.empty()) << "the next start cannot log in silently";
}

// The window's close button and Escape answer as "取消": the client carries on while the
// account is bound (a Rejected settings window ends the client).
TEST_F(SettingsTest, ClosingTheWindowAnswersAsCancel) {
    CSettingDlg closed(Actions());
    closed.show();
    closed.close();
    EXPECT_EQ(closed.result(), QDialog::Accepted) << "the close button";

    CSettingDlg escaped(Actions());
    escaped.show();
    QTest::keyClick(&escaped, Qt::Key_Escape);
    EXPECT_FALSE(escaped.isVisible());
    EXPECT_EQ(escaped.result(), QDialog::Accepted) << "Escape";

    CSettingDlg unbound(Actions());
    QTest::mouseClick(unbound.UnbindButton(), Qt::LeftButton);
    unbound.show();
    unbound.close();
    EXPECT_EQ(unbound.result(), QDialog::Rejected) << "after unbinding the client still ends";
}

}  // namespace
