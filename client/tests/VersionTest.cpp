#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "client/InfoDialog.h"
#include "client/UpdateDialog.h"
#include "client/VersionCheck.h"
#include "client/tests/QtTestSupport.h"
#include "common/GlobalSetting.h"
#include "testing/ManualClock.h"
#include "testing/RefServiceProcess.h"
#include "testing/TempHome.h"

namespace {

using testing_support::CRefServiceProcess;
using testing_support::TestApp;

TEST(VersionTextTest, NotesAreCleanedAndTheHeadlineNamesBothVersions) {
    EXPECT_EQ(CleanNotes(L"<p>新功能</p>\n\n\tword"), L"\nword")
        << "the markup rule reaches from the first < to the last >";
    EXPECT_EQ(CleanNotes(L"一\n\n\n二\t\t三"), L"一\n二三");
    EXPECT_EQ(CleanNotes(L"plain"), L"plain");
    EXPECT_EQ(UpdateHeadline("2.1.0"), L"版本V2.0.1可更新至V2.1.0");
}

// The recorded consequences of one version decision.
struct Seen {
    std::vector<std::wstring> errors;
    std::vector<EUpdateMode> offers;
    std::vector<std::string> opened;
    int closes = 0;
    bool accept = false;
    VersionUi Ui() {
        VersionUi ui;
        ui.error = [this](const std::wstring& text) { errors.push_back(text); };
        ui.offer = [this](EUpdateMode mode, const std::string&, const std::wstring&) {
            offers.push_back(mode);
            return accept;
        };
        ui.openAddress = [this](const std::string& address) { opened.push_back(address); };
        ui.close = [this] { ++closes; };
        return ui;
    }
};

class VersionTest : public ::testing::Test {
  protected:
    VersionTest() : service_(REFSERVICE_PATH, home_.path() / "service", "alice", "secret") {
        std::string address = service_.Address();
        CGlobalSetting().SetValue(L"main", L"server", std::wstring(address.begin(), address.end()),
                                  L"config.ini");
    }
    void Answer(int newest, int forced, int code = 0) {
        Json::Value body;
        body["code"] = code;
        body["newest"] = newest;
        body["forced"] = forced;
        body["address"] = "http://example.invalid/corvena.deb";
        body["md5"] = "2.1.0";
        body["notes"] = "<p>fixes</p>\n\n\tword";
        service_.Control("/admin/version", body);
    }

    testing_support::TempHome home_;
    CRefServiceProcess service_;
};

TEST_F(VersionTest, EachReplyLeadsToItsDecision) {
    struct Row {
        const char* why;
        int newest;
        int forced;
        int code;
        bool accept;
        int result;
        std::vector<EUpdateMode> offers;
        size_t opened;
        int closes;
        std::vector<std::wstring> errors;
    };
    const Row rows[] = {
        {"current version", 8, 0, 0, false, 1, {}, 0, 0, {}},
        {"newer, declined", 9, 0, 0, false, 1, {UPDATE_OPTIONAL}, 0, 0, {}},
        {"newer, taken", 9, 0, 0, true, 2, {UPDATE_OPTIONAL}, 1, 1, {}},
        {"forced, declined", 9, 8, 0, false, 2, {UPDATE_FORCED}, 0, 1, {}},
        {"forced, taken", 12, 9, 0, true, 2, {UPDATE_FORCED}, 1, 1, {}},
        {"older newest: ask again", 7, 0, 0, false, -1, {}, 0, 0, {}},
        {"service code 2", 9, 9, 2, false, 0, {}, 0, 0, {}},
        {"service code 5", 9, 9, 5, false, 0, {}, 0, 1, {L"账号或服务器异常！"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        Answer(row.newest, row.forced, row.code);
        Seen seen;
        seen.accept = row.accept;
        EXPECT_EQ(IsUpdata(seen.Ui()), row.result);
        EXPECT_EQ(seen.offers, row.offers);
        EXPECT_EQ(seen.opened.size(), row.opened);
        if (row.opened > 0) {
            EXPECT_EQ(seen.opened[0], "http://example.invalid/corvena.deb");
        }
        EXPECT_EQ(seen.closes, row.closes);
        EXPECT_EQ(seen.errors, row.errors);
    }

    service_.AddFault("/ent/version/check", "status", [] {
        Json::Value v;
        v["status"] = 500;
        return v;
    }());
    Seen server;
    EXPECT_EQ(IsUpdata(server.Ui()), 0);
    EXPECT_EQ(server.errors, std::vector<std::wstring>{L"服务器异常！"});
    EXPECT_EQ(server.closes, 1);
}

// Start-up waits while the service answers neither current nor newer, asking once a second.
TEST_F(VersionTest, StartUpAsksAgainUntilTheAnswerIsUsable) {
    testing_support::ManualClock clock;
    int asked = 0;
    Seen seen;
    auto query = [&] {
        ++asked;
        VersionReply reply;
        reply.newest = asked < 3 ? 5 : kClientVersion;
        return reply;
    };
    int result = -1;
    std::thread check([&] { result = CheckVersion(seen.Ui(), query); });
    testing_support::ManualClock::AdvanceWhenWaiting(1, std::chrono::milliseconds(1000));
    testing_support::ManualClock::AdvanceWhenWaiting(1, std::chrono::milliseconds(1000));
    check.join();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(asked, 3);

    seen.accept = true;
    auto forced = [] {
        VersionReply reply;
        reply.newest = 9;
        reply.forced = 9;
        return reply;
    };
    EXPECT_EQ(CheckVersion(seen.Ui(), forced), 0) << "an update taken stops the start-up";
}

TEST(UpdateWindowTest, ShowsTheHeadlineAndTheCleanedNotes) {
    TestApp();
    CUpdataExpDlg dialog(UPDATE_OPTIONAL, "2.1.0", L"<p>新版本</p>\n\n\t修复了同步问题");
    EXPECT_EQ(dialog.Headline()->text(), QStringLiteral("版本V2.0.1可更新至V2.1.0"));
    EXPECT_EQ(dialog.Notes()->text(), QStringLiteral("\n修复了同步问题"));
    EXPECT_EQ(dialog.objectName(), QStringLiteral("CorvenaupdataExp"));
    EXPECT_TRUE(testing_support::Screenshot(&dialog, "update"));
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);

    std::unique_ptr<CInfoDlg> about(CInfoDlg::About());
    EXPECT_TRUE(about->Text()->text().contains(QStringLiteral("版本号:V2.0.1")));
    EXPECT_TRUE(testing_support::Screenshot(about.get(), "about"));
    std::unique_ptr<CInfoDlg> current(CInfoDlg::UpToDate());
    EXPECT_EQ(current->Text()->text(), QStringLiteral("当前已是最新版本V2.0.1"));
    EXPECT_TRUE(testing_support::Screenshot(current.get(), "up-to-date"));
}

}  // namespace
