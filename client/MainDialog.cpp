#include "client/MainDialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <cstdlib>

#include "client/ClientSession.h"
#include "client/ClientStore.h"
#include "client/Communication.h"
#include "client/EngineLink.h"
#include "client/InfoDialog.h"
#include "client/LoginDialog.h"
#include "client/LoginLogic.h"
#include "client/MessageBox.h"
#include "client/OpenLocation.h"
#include "client/SettingsDialog.h"
#include "client/SettingsLogic.h"
#include "client/SyncDetailDialog.h"
#include "client/UpdateDialog.h"
#include "common/AfLog.h"
#include "common/GlobalSetting.h"
#include "common/Utility.h"
#include "platform/Clock.h"
#include "rest/ServiceAddress.h"
#include "rest/UserMgr.h"
#include "store/SyncCodes.h"
#include "store/tablestore/DbBase.h"

namespace {
// How long the close sequence waits for the window of an engine that is still starting.
constexpr std::uint32_t kEngineStartWaitMs = 10000;

QString Caption() {
    return QString::fromUtf8(kCaption);
}

void Step(const char* name) {
    AfLog(1, "CorvenaDlg", "CCorvenaDlg::OnInitDialog", 0, "enter CCorvenaDlg::OnInitDialog %s 1",
          name);
}

// A top-level window of the client by the name other parts look for it by.
QWidget* FindClientWindow(const QString& name) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == name && widget->isVisible()) {
            return widget;
        }
    }
    return nullptr;
}

bool Raise(const QString& name) {
    QWidget* window = FindClientWindow(name);
    if (window == nullptr) {
        return false;
    }
    window->show();
    window->raise();
    window->activateWindow();
    return true;
}
}  // namespace

CCorvenaDlg::CCorvenaDlg(MainOptions options, QWidget* parent)
    : QDialog(parent),
      m_options(std::move(options)),
      m_tray(std::make_unique<CTrayController>(m_options.trayPresent, m_options.trayWaitMs)),
      m_launcher(m_options.enginePath),
      m_dirBox(new QLineEdit(this)),
      m_browse(new QPushButton(QStringLiteral("浏览..."), this)),
      m_start(new QPushButton(QStringLiteral("开始同步"), this)) {
    setObjectName(QStringLiteral("Corvena"));
    setWindowTitle(QStringLiteral("Corvena"));
    setWindowIcon(CMyIcon::IconFor(ICON_MAIN));
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(QStringLiteral("欢迎使用Corvena同步盘"), this);
    QFont big = title->font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    title->setFont(big);
    layout->addWidget(title);
    layout->addWidget(new QLabel(
        QStringLiteral("请选择本电脑上的同步文件夹，其中的文件将与您的账号保持同步。"), this));
    auto* row = new QHBoxLayout();
    m_dirBox->setMinimumWidth(320);
    row->addWidget(m_dirBox, 1);
    row->addWidget(m_browse);
    layout->addLayout(row);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch();
    auto* close = new QPushButton(QStringLiteral("退出"), this);
    buttons->addWidget(m_start);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    m_start->setDefault(true);
    connect(m_browse, &QPushButton::clicked, this, &CCorvenaDlg::OnBrowse);
    connect(m_start, &QPushButton::clicked, this, &CCorvenaDlg::OnStartSync);
    connect(close, &QPushButton::clicked, this, &CCorvenaDlg::CloseSequence);
    connect(m_tray.get(), &CTrayController::openSyncDirRequested, this,
            [] { OpenFolder(CClientSession::Get().SyncDir()); });
    connect(m_tray.get(), &CTrayController::showMainWindowRequested, this, [this] {
        show();
        raise();
        activateWindow();
    });
}

CCorvenaDlg::~CCorvenaDlg() {
    plat::SetEvent(m_stop);
    if (m_spaceThread.joinable()) {
        m_spaceThread.join();
    }
    if (m_versionThread.joinable()) {
        m_versionThread.join();
    }
}

void CCorvenaDlg::reject() {
    CloseSequence();
}

void CCorvenaDlg::CreateContextMenu() {
    CTrayMenu& menu = m_tray->Menu();
    menu.SetExitHandler([this] { CloseSequence(); });
    menu.SetHandler(ROW_SETTINGS, [this] { OpenSettings(); });
    menu.SetHandler(ROW_OPEN_DIR, [] { OpenFolder(CClientSession::Get().SyncDir()); });
    menu.SetHandler(ROW_DETAIL, [this] { OpenDetail(); });
    menu.SetHandler(ROW_WEB, [this] { OpenWeb(); });
    menu.SetHandler(ROW_VERSION, [this] { OnVersionRow(); });
    menu.SetHandler(ROW_FEEDBACK, [] {
        CServiceAddress address;
        QDesktopServices::openUrl(QUrl(QStringLiteral("%1://%2:%3/feedback")
                                           .arg(address.IsTls() ? "https" : "http")
                                           .arg(QString::fromStdString(address.Host()))
                                           .arg(address.Port())));
    });
    menu.SetHandler(ROW_ABOUT, [this] { OpenAbout(); });
    menu.SetHandler(ROW_EXIT, [this] { CloseSequence(); });
}

VersionUi CCorvenaDlg::MakeVersionUi() {
    VersionUi ui;
    ui.error = [this](const std::wstring& text) {
        ShowMessage(this, QString::fromStdWString(text), Caption());
    };
    ui.offer = [this](EUpdateMode mode, const std::string& version, const std::wstring& notes) {
        CUpdataExpDlg dialog(mode, version, notes, this);
        return dialog.exec() == QDialog::Accepted;
    };
    ui.openAddress = [](const std::string& address) {
        QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
    };
    ui.close = [this] { CloseSequence(); };
    return ui;
}

int CCorvenaDlg::InitUi() {
    m_tray->ShowConnecting();
    const char* home = std::getenv("HOME");
    m_dirBox->setText(
        QString::fromStdWString(ProposedSyncDir(StringToWstring(home != nullptr ? home : "/"))));
    return 1;
}

bool CCorvenaDlg::Start() {
    m_tray->Listen();
    Step("AddListener");
    CreateContextMenu();
    Step("CreateContextMenu");
    if (m_options.checkVersionAtStart && CheckVersion(MakeVersionUi()) == 0) {
        return false;
    }
    if (m_closed) {
        return false;
    }
    Step("CheckVersion");
    InitUi();
    Step("InitUi");
    if (!LogIn()) {
        return false;
    }
    Step("LoginDefault");
    UserInfo user = CClientSession::Get().User();
    CGlobalSetting setting;
    setting.m_wstrUser = StringToWstring(user.strAccount);
    setting.Save(L"config.ini");
    SetSystemConfig("NetState", L"1");
    CUserMgr session(4);
    std::string webToken;
    if (session.GetWebToken(user.strUserId, user.strToken, user.strUserType, webToken) == 0) {
        user.strWebToken = webToken;
        CClientSession::Get().SetUser(user);
    }
    WriteUserRecord(user);
    SetSystemConfig("Stop", L"0");
    Step("GetWebToken");
    StartThreads();
    m_launcher.StartWatchdog();
    Step("SetTimer");
    if (SyncDirExists() == 0) {
        return false;
    }
    if (m_launcher.StartEngine(CCommunication::Get().MessageThreadId()) != 0) {
        AfLog(4, "CorvenaDlg", "CCorvenaDlg::OnInitDialog", 0, "启动同步进程失败");
        ShowMessage(this, QStringLiteral("系统错误，请卸载后重新安装！"), Caption());
        CloseSequence();
        return false;
    }
    Step("StartEngine");
    if (CClientSession::Get().SyncDir().empty()) {
        show();
    }
    return true;
}

bool CCorvenaDlg::LogIn() {
    UserInfo user = CClientSession::Get().User();
    std::wstring dir;
    if (LoginDefault(user, dir) == 0) {
        CClientSession::Get().SetUser(user);
        WriteUserRecord(user);
        SetSystemConfig("Stop", L"0");
        return true;
    }
    CLogInDlg login;
    if (login.exec() != QDialog::Accepted) {
        m_tray->Icon().Remove();
        CloseSequence();
        return false;
    }
    CDbBase::SetAccount(CClientSession::Get().User().strAccount);
    return true;
}

int CCorvenaDlg::SyncDirExists() {
    std::wstring dir = GetSystemConfig("SyncDir");
    AfLog(1, "CorvenaDlg", "CCorvenaDlg::SyncDirExists", 0, "CCorvenaDlg::SyncDirExists 111");
    if (dir.empty()) {
        return 1;
    }
    AfLog(1, "CorvenaDlg", "CCorvenaDlg::SyncDirExists", 0, "CCorvenaDlg::SyncDirExists 222 %s",
          WstringToString(dir).c_str());
    if (JudgeFolder(dir) != 0) {
        AfLog(1, "CorvenaDlg", "CCorvenaDlg::SyncDirExists", 0, "CCorvenaDlg::SyncDirExists 333");
        ShowMessage(
            this,
            QStringLiteral("同步目录 %1 已不存在。\nCorvena将清除本机的账号记录并重新启动。")
                .arg(QString::fromStdWString(dir)),
            Caption());
        ClearUserData();
        if (m_options.restartClient) {
            m_options.restartClient();
        }
        hide();
        UserInfo user = CClientSession::Get().User();
        user.strAccount.clear();
        CClientSession::Get().SetUser(user);
        m_tray->Icon().Remove();
        CloseSequence();
        return 0;
    }
    SetSyncDir(dir);
    return 1;
}

void CCorvenaDlg::SetSyncDir(const std::wstring& dir) {
    CClientSession::Get().SetSyncDir(dir);
    hide();
    m_launcher.m_bWatchEngine = true;
    m_tray->SyncDirAdopted();
}

void CCorvenaDlg::OnBrowse() {
    QString chosen = m_options.prompts.chooseFolder(this);
    if (chosen.isEmpty()) {
        return;
    }
    m_dirBox->setText(QString::fromStdWString(ProposedSyncDir(chosen.toStdWString())));
}

void CCorvenaDlg::OnStartSync() {
    QString text = m_dirBox->text();
    if (text.isEmpty()) {
        ShowMessage(this, QStringLiteral("请设置同步文件夹目录!"));
        return;
    }
    std::wstring dir = text.toStdWString();
    int kind = JudgeFolder(dir);
    if (kind == 0 && !m_options.prompts.useExisting(this, text)) {
        return;
    }
    std::error_code ec;
    if (kind == 1 || dir.empty() || dir[0] != L'/' ||
        (!std::filesystem::create_directories(std::filesystem::path(dir), ec) && ec)) {
        ShowMessage(this, QStringLiteral("不支持此目录为同步文件夹！"), Caption());
        return;
    }
    CGlobalSetting().SaveDir(dir, L"config.ini");
    SetSystemConfig("SyncDir", dir);
    SetSyncDir(dir);
}

void CCorvenaDlg::StartThreads() {
    SpaceWatchActions actions;
    actions.setSpaceText = [this](const std::wstring& text) { m_tray->SetSpaceText(text); };
    actions.postNetServer = [](int reachable) { PostToEngine(MSG_NET_SERVER, 0, reachable); };
    actions.accountFaultBox = [this] {
        QMetaObject::invokeMethod(
            this, [this] { ShowAccountFaultBox(); }, Qt::QueuedConnection);
    };
    actions.accountDisabled = [this] {
        ClearUserData();
        QMetaObject::invokeMethod(
            this, [this] { CloseSequence(); }, Qt::QueuedConnection);
    };
    m_spaceWatch = std::make_unique<CSpaceWatch>(
        m_tray->State(),
        [](std::string& used, std::string& total) {
            UserInfo user = CClientSession::Get().User();
            CUserMgr session(4);
            return session.GetSpaceInfo(user.strUserId, user.strToken, user.strUserType, used,
                                        total);
        },
        actions);
    m_spaceThread = std::thread([this] { SpaceWatchLoop(); });
    m_versionThread = std::thread([this] { VersionWatchLoop(); });
}

void CCorvenaDlg::ShowAccountFaultBox() {
    if (m_faultBoxOpen.exchange(true)) {
        return;
    }
    ShowMessage(nullptr, QStringLiteral("账号异常，正试图恢复中..."), Caption());
    m_faultBoxOpen = false;
}

void CCorvenaDlg::SpaceWatchLoop() {
    do {
        m_spaceWatch->Poll();
    } while (plat::WaitForSingleObject(m_stop, 5000) == plat::WAIT_TIMEOUT);
}

void CCorvenaDlg::VersionWatchLoop() {
    for (;;) {
        std::tm now = plat::Clock::LocalNow();
        plat::DWORD wait = 60000;
        if (now.tm_hour == 9 && now.tm_min == 0) {
            QMetaObject::invokeMethod(
                this, [this] { RunDailyCheck(); }, Qt::QueuedConnection);
            wait = 65000;
        } else if (now.tm_hour == 8 && now.tm_min == 59) {
            wait = 1000;
        }
        if (plat::WaitForSingleObject(m_stop, wait) != plat::WAIT_TIMEOUT) {
            return;
        }
    }
}

void CCorvenaDlg::RunDailyCheck() {
    if (!m_closed && IsUpdata(MakeVersionUi()) == -1) {
        QTimer::singleShot(1000, this, [this] { RunDailyCheck(); });
    }
}

void CCorvenaDlg::OnVersionRow() {
    VersionReply reply = QueryVersion();
    if (reply.result == 6) {
        ShowMessage(this, QStringLiteral("服务器或网络异常！请稍后重试启动！"), Caption());
        return;
    }
    if (Raise(QStringLiteral("CorvenaupdataExp"))) {
        return;
    }
    if (IsUpdata(MakeVersionUi(), [reply] { return reply; }) == 0 && !m_closed &&
        !Raise(QStringLiteral("Corvena警告错误2014"))) {
        std::unique_ptr<CInfoDlg> upToDate(CInfoDlg::UpToDate(this));
        upToDate->exec();
    }
}

void CCorvenaDlg::OpenSettings() {
    if (Raise(QStringLiteral("Corvena设置1234"))) {
        return;
    }
    SettingsActions actions;
    actions.prompts = m_options.prompts;
    actions.restartClient = m_options.restartClient;
    actions.syncDirMoved = [this](const std::wstring& dir) { SetSyncDir(dir); };
    CSettingDlg dialog(actions, nullptr);
    if (dialog.exec() != QDialog::Accepted) {
        CloseSequence();
    }
}

void CCorvenaDlg::OpenDetail() {
    if (Raise(QStringLiteral("同步详情2014"))) {
        return;
    }
    CSyncDetailDlg dialog(CClientSession::Get().SyncDir(), CCommunication::Get().LastSyncState());
    dialog.exec();
}

void CCorvenaDlg::OpenWeb() {
    UserInfo user = CClientSession::Get().User();
    if (user.strWebToken.empty()) {
        CUserMgr session(4);
        session.GetWebToken(user.strUserId, user.strToken, user.strUserType, user.strWebToken);
        CClientSession::Get().SetUser(user);
    }
    QDesktopServices::openUrl(QUrl(QString::fromStdString(user.strWebToken)));
}

void CCorvenaDlg::OpenAbout() {
    if (Raise(QStringLiteral("Corvenaaboutme2014"))) {
        return;
    }
    std::unique_ptr<CInfoDlg> about(CInfoDlg::About(nullptr));
    about->exec();
}

void CCorvenaDlg::CloseSequence() {
    if (m_closed) {
        return;
    }
    m_closed = true;
    for (const char* name : {"CorvenaLoginDialog", "Corvena设置1234", "同步详情2014",
                             "Corvenaaboutme2014", "CorvenaupdataExp", "Corvena警告错误2014"}) {
        if (QWidget* window = FindClientWindow(QString::fromUtf8(name))) {
            window->close();
        }
    }
    CCommunication::Get().m_bEngineStarted = false;
    // An engine that is still starting has no window to be told yet; without this wait it
    // would run on without its front end.
    if (m_launcher.IsEngineRunning() && !WaitForEngineWindow(kEngineStartWaitMs)) {
        AfLog(4, "CorvenaDlg", "CCorvenaDlg::OnCancel", 0, "the engine made no window within %u ms",
              kEngineStartWaitMs);
    }
    StopEngine();
    CCommunication::Get().StopMessageThread();
    m_tray->Icon().Remove();
    plat::SetEvent(m_stop);
    hide();
    AfLog(1, "CorvenaDlg", "CCorvenaDlg::OnCancel", 0, "the client ends");
    if (m_options.quit) {
        m_options.quit(0);
    }
}
