#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "client/ClientSession.h"
#include "client/ClientStore.h"
#include "client/LoginDialog.h"
#include "client/LoginLogic.h"
#include "client/tests/QtTestSupport.h"
#include "common/GlobalSetting.h"
#include "store/tablestore/DbBase.h"
#include "testing/RefServiceProcess.h"
#include "testing/TempHome.h"

namespace {

using testing_support::AnswerNextMessageBox;
using testing_support::CRefServiceProcess;
using testing_support::TestApp;

TEST(LoginTest, Base64PadsTheLastGroup) {
    EXPECT_EQ(Base64Encode("a"), "YQ==");
    EXPECT_EQ(Base64Encode("ab"), "YWI=");
    EXPECT_EQ(Base64Encode("abc"), "YWJj");
    EXPECT_EQ(Base64Encode("secret"), "c2VjcmV0");
    EXPECT_EQ(Base64Encode(std::string("\xff\xfe\x00", 3)), "//4A");
    EXPECT_EQ(Base64Encode(""), "");
}

class LoginService : public ::testing::Test {
  protected:
    LoginService() : service_(REFSERVICE_PATH, home_.path() / "service", "alice", "secret") {
        TestApp();
        UseServer(service_.Address());
        CDbBase::SetAccount("alice");
    }
    static void UseServer(const std::string& address) {
        CGlobalSetting().SetValue(L"main", L"server", std::wstring(address.begin(), address.end()),
                                  L"config.ini");
    }
    // Types into the dialog, clicks login and returns the box that came up (if any).
    std::shared_ptr<testing_support::TBoxSeen> TryLogin(CLogInDlg& dialog, const QString& account,
                                                        const QString& password) {
        dialog.AccountBox()->setText(account);
        dialog.PasswordBox()->setText(password);
        auto seen = AnswerNextMessageBox();
        QTest::mouseClick(dialog.LoginButton(), Qt::LeftButton);
        return seen;
    }

    testing_support::TempHome home_;
    CRefServiceProcess service_;
};

TEST_F(LoginService, EachFailureShowsItsTextAndKeepsTheTypedValues) {
    struct Row {
        const char* why;
        std::function<void(CRefServiceProcess&)> arrange;
        QString account;
        QString password;
        QString text;
        QString caption;
    };
    const QString corvena = QStringLiteral("Corvena同步盘");
    const Row rows[] = {
        {"empty account", {}, "", "secret", "用户名不能为空！", "登录"},
        {"empty password", {}, "alice", "", "密码不能为空！", "登录"},
        {"wrong password (8003)", {}, "alice", "wrong", "请输入正确的邮箱和密码！", corvena},
        {"unknown account", {}, "bob", "secret", "请输入正确的邮箱和密码！", corvena},
        {"service code 6 (8006)",
         [](CRefServiceProcess& s) {
             s.AddFault("/ent/user/login", "code", [] {
                 Json::Value v;
                 v["code"] = 6;
                 return v;
             }());
         },
         "alice", "secret", "用户过期！", corvena},
        {"service code 11 (8011)",
         [](CRefServiceProcess& s) {
             s.AddFault("/ent/user/login", "code", [] {
                 Json::Value v;
                 v["code"] = 11;
                 return v;
             }());
         },
         "alice", "secret", "网络异常！", corvena},
        {"HTTP 500 (22)",
         [](CRefServiceProcess& s) {
             s.AddFault("/ent/user/login", "status", [] {
                 Json::Value v;
                 v["status"] = 500;
                 return v;
             }());
         },
         "alice", "secret", "服务器异常！", corvena},
        {"disabled account (8002)",
         [](CRefServiceProcess& s) {
             s.Control("/admin/account", [] {
                 Json::Value v;
                 v["user"] = "alice";
                 v["disabled"] = true;
                 return v;
             }());
         },
         "alice", "secret", "该用户已被禁用！", corvena},
        {"expired account (8005)",
         [](CRefServiceProcess& s) {
             s.Control("/admin/account", [] {
                 Json::Value v;
                 v["user"] = "alice";
                 v["disabled"] = false;
                 v["expired"] = true;
                 return v;
             }());
         },
         "alice", "secret", "用户过期！", corvena},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        if (row.arrange) {
            row.arrange(service_);
        }
        CLogInDlg dialog;
        dialog.show();
        auto seen = TryLogin(dialog, row.account, row.password);
        ASSERT_TRUE(QTest::qWaitFor([&] { return seen->seen; }, 20000));
        EXPECT_EQ(seen->text, row.text);
        EXPECT_EQ(seen->caption, row.caption);
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.AccountBox()->text(), row.account);
        EXPECT_EQ(dialog.PasswordBox()->text(), row.password);
    }
}

TEST_F(LoginService, UnreachableServiceShowsTheLoginText) {
    UseServer("127.0.0.1:1");
    CLogInDlg dialog;
    dialog.show();
    auto seen = TryLogin(dialog, "alice", "secret");
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen->seen; }, 20000));
    EXPECT_EQ(seen->text, QStringLiteral("请输入正确的邮箱和密码！")) << "connection refused is 7";
    EXPECT_EQ(QString::fromWCharArray(LoginErrorText(6)), QStringLiteral("网络错误！"));
}

TEST_F(LoginService, ADialogLoginFillsTheRecordWithTheEncodedPassword) {
    CLogInDlg dialog;
    dialog.show();
    EXPECT_TRUE(testing_support::Screenshot(&dialog, "login"));
    dialog.AccountBox()->setText("alice");
    dialog.PasswordBox()->setText("secret");
    QTest::mouseClick(dialog.LoginButton(), Qt::LeftButton);
    ASSERT_EQ(dialog.result(), QDialog::Accepted);
    UserInfo user = CClientSession::Get().User();
    EXPECT_EQ(user.strAccount, "alice");
    EXPECT_EQ(user.strPassword, "c2VjcmV0");
    EXPECT_FALSE(user.strToken.empty());
    EXPECT_FALSE(user.strUserId.empty());
    EXPECT_NE(service_.LastRequest("/ent/user/login").strBody.find("c2VjcmV0"), std::string::npos);
}

TEST_F(LoginService, SilentLoginNeedsAccountPasswordAndSyncDir) {
    UserInfo user;
    user.strAccount = "alice";
    user.strPassword = Base64Encode("secret");
    std::wstring dir;
    EXPECT_EQ(LoginDefault(user, dir), 1) << "no account remembered";

    CGlobalSetting setting;
    setting.m_wstrUser = L"alice";
    setting.Save(L"config.ini");
    EXPECT_EQ(LoginDefault(user, dir), 1) << "account and password known, no sync directory";

    ASSERT_EQ(SetSystemConfig("SyncDir", (home_.path() / "Corvena").wstring()), 0);
    UserInfo noPassword = user;
    noPassword.strPassword.clear();
    EXPECT_EQ(LoginDefault(noPassword, dir), 1);

    UserInfo wrong = user;
    wrong.strPassword = Base64Encode("wrong");
    EXPECT_EQ(LoginDefault(wrong, dir), 1);

    ASSERT_EQ(LoginDefault(user, dir), 0);
    EXPECT_EQ(dir, (home_.path() / "Corvena").wstring());
    EXPECT_FALSE(user.strToken.empty());
    std::wstring saved;
    CGlobalSetting().GetValue(L"main", L"syncdir", saved, L"config.ini");
    EXPECT_EQ(saved, dir);
}

}  // namespace
