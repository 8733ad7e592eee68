#include "client/SettingsDialog.h"

#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "client/ClientSession.h"
#include "client/ClientStore.h"
#include "client/EngineLink.h"
#include "client/MessageBox.h"
#include "client/SettingsLogic.h"
#include "common/AfLog.h"
#include "common/GlobalSetting.h"
#include "common/Utility.h"

namespace {
QString Caption() {
    return QString::fromUtf8(kCaption);
}
}  // namespace

CSettingDlg::CSettingDlg(SettingsActions actions, QWidget* parent)
    : QDialog(parent),
      m_actions(std::move(actions)),
      m_binding(new QLabel(this)),
      m_unbound(new QLabel(QStringLiteral("已取消关联"), this)),
      m_unbind(new QPushButton(QStringLiteral("取消关联"), this)),
      m_dir(new QLineEdit(this)),
      m_move(new QPushButton(QStringLiteral("移动"), this)),
      m_autostart(new QCheckBox(QStringLiteral("登录桌面时自动启动Corvena"), this)),
      m_unlimited(new QRadioButton(QStringLiteral("不限制传输速度"), this)),
      m_custom(new QRadioButton(QStringLiteral("自定义"), this)),
      m_upload(new QLineEdit(this)),
      m_download(new QLineEdit(this)),
      m_forget(new QPushButton(QStringLiteral("取消记住密码"), this)),
      m_ok(new QPushButton(QStringLiteral("确定"), this)),
      m_cancel(new QPushButton(QStringLiteral("取消"), this)) {
    setObjectName(QStringLiteral("Corvena设置1234"));
    setWindowTitle(QStringLiteral("Corvena 设置"));
    if (!m_actions.confirmUnbind) {
        m_actions.confirmUnbind = [](QWidget* parent) {
            return QMessageBox::question(parent, Caption(),
                                         QStringLiteral("取消关联后，本电脑将不再同步此账号的文件，"
                                                        "Corvena将重新启动。确定取消关联吗？")) ==
                   QMessageBox::Yes;
        };
    }
    auto* layout = new QVBoxLayout(this);

    auto* account = new QGroupBox(QStringLiteral("账号"), this);
    auto* accountRow = new QHBoxLayout(account);
    std::string name = CClientSession::Get().User().strAccount;
    m_binding->setText(QStringLiteral("本电脑已与%1的账号关联").arg(QString::fromStdString(name)));
    m_unbound->hide();
    accountRow->addWidget(m_binding, 1);
    accountRow->addWidget(m_unbound, 1);
    accountRow->addWidget(m_unbind);
    layout->addWidget(account);

    auto* folder = new QGroupBox(QStringLiteral("同步目录"), this);
    auto* folderRow = new QHBoxLayout(folder);
    m_dir->setReadOnly(true);
    m_dir->setText(QString::fromStdWString(CClientSession::Get().SyncDir()));
    m_dir->setMinimumWidth(300);
    folderRow->addWidget(m_dir, 1);
    folderRow->addWidget(m_move);
    layout->addWidget(folder);

    auto* start = new QGroupBox(QStringLiteral("启动"), this);
    auto* startRow = new QVBoxLayout(start);
    startRow->addWidget(m_autostart);
    m_autostart->setChecked(GetSystemConfig("AutoRun") == L"1");
    layout->addWidget(start);

    auto* speed = new QGroupBox(QStringLiteral("传输速度"), this);
    auto* grid = new QGridLayout(speed);
    grid->addWidget(m_unlimited, 0, 0, 1, 3);
    grid->addWidget(m_custom, 1, 0, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("上传速度："), this), 2, 0);
    grid->addWidget(m_upload, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("KB/S"), this), 2, 2);
    grid->addWidget(new QLabel(QStringLiteral("下载速度："), this), 3, 0);
    grid->addWidget(m_download, 3, 1);
    grid->addWidget(new QLabel(QStringLiteral("KB/S"), this), 3, 2);
    layout->addWidget(speed);
    bool custom = GetSystemConfig("SetSpeed") == L"1";
    m_custom->setChecked(custom);
    m_unlimited->setChecked(!custom);
    m_upload->setText(QString::fromStdWString(GetSystemConfig("USpeed")));
    m_download->setText(QString::fromStdWString(GetSystemConfig("DSpeed")));
    EnableLimits();

    auto* buttons = new QHBoxLayout();
    m_forget->setFlat(true);
    m_forget->setStyleSheet(QStringLiteral("color: #1a73d9; text-decoration: underline;"));
    m_forget->setCursor(Qt::PointingHandCursor);
    buttons->addWidget(m_forget);
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    layout->addLayout(buttons);
    m_ok->setDefault(true);

    connect(m_unlimited, &QRadioButton::toggled, this, &CSettingDlg::EnableLimits);
    connect(m_custom, &QRadioButton::toggled, this, &CSettingDlg::EnableLimits);
    connect(m_move, &QPushButton::clicked, this, &CSettingDlg::OnMove);
    connect(m_ok, &QPushButton::clicked, this, &CSettingDlg::OnOk);
    connect(m_unbind, &QPushButton::clicked, this, &CSettingDlg::OnUnbind);
    connect(m_forget, &QPushButton::clicked, this, &CSettingDlg::OnForget);
    connect(m_cancel, &QPushButton::clicked, this, &CSettingDlg::OnCancel);
}

void CSettingDlg::EnableLimits() {
    m_upload->setEnabled(m_custom->isChecked());
    m_download->setEnabled(m_custom->isChecked());
}

void CSettingDlg::OnMove() {
    QString chosen = m_actions.prompts.chooseFolder(this);
    if (chosen.isEmpty()) {
        return;
    }
    m_dir->setText(QString::fromStdWString(ProposedSyncDir(chosen.toStdWString())));
    m_dirChanged = true;
}

void CSettingDlg::OnOk() {
    bool custom = m_custom->isChecked();
    std::string upload = m_upload->text().toStdString();
    std::string download = m_download->text().toStdString();
    done(QDialog::Accepted);
    switch (ApplySpeeds(custom, upload, download)) {
        case SPEED_ENGINE_MISSING:
            ShowMessage(this, QStringLiteral("同步程序未正常运行，无法继续此操作！"), Caption());
            return;
        case SPEED_BAD_UPLOAD:
            ShowMessage(this, QStringLiteral("上传速度设置有误, 请输入0-1048576的整数"), Caption());
            return;
        case SPEED_BAD_DOWNLOAD:
            ShowMessage(this, QStringLiteral("下载速度设置有误, 请输入0-1048576的整数"), Caption());
            return;
        case SPEED_OK:
            break;
    }
    if (!m_bound) {
        StopEngine();
        done(QDialog::Rejected);
        return;
    }
    if (m_dirChanged) {
        MoveSyncDir();
    }
    SetAutostart(m_autostart->isChecked());
}

void CSettingDlg::MoveSyncDir() {
    std::wstring newDir = m_dir->text().toStdWString();
    std::wstring oldDir = CClientSession::Get().SyncDir();
    if (CheckMoveTarget(oldDir, newDir) != MOVE_OK) {
        ShowMessage(this, QString::fromWCharArray(MoveResultText(MOVE_INSIDE_OLD)), Caption());
        return;
    }
    if (QDir(m_dir->text()).exists() && !m_actions.prompts.useExisting(this, m_dir->text())) {
        return;
    }
    StopEngine();
    EMoveResult result = CopySyncDir(oldDir, newDir);
    if (result != MOVE_OK) {
        ShowMessage(this, QString::fromWCharArray(MoveResultText(result)), Caption());
        return;
    }
    AfLog(1, "SettingDlg", "CSettingDlg::MoveSyncDir", 0, "the sync directory moved to %s",
          WstringToString(newDir).c_str());
    CClientSession::Get().SetSyncDir(newDir);
    CGlobalSetting().SaveDir(newDir, L"config.ini");
    SetSystemConfig("SyncDir", newDir);
    if (m_actions.syncDirMoved) {
        m_actions.syncDirMoved(newDir);
    }
}

void CSettingDlg::OnUnbind() {
    if (!m_actions.confirmUnbind(this)) {
        return;
    }
    CGlobalSetting setting;
    setting.m_wstrUser.clear();
    setting.Save(L"config.ini");
    setting.SaveDir(L"", L"config.ini");
    m_binding->setText(QStringLiteral("已取消关联"));
    m_binding->hide();
    m_unbound->show();
    m_unbind->setEnabled(false);
    m_bound = false;
    if (m_actions.restartClient) {
        m_actions.restartClient();
    }
    done(QDialog::Rejected);
}

void CSettingDlg::OnForget() {
    UserInfo user = CClientSession::Get().User();
    user.strPassword.clear();
    CClientSession::Get().SetUser(user);
    WriteUserRecord(user);
    if (m_actions.restartClient) {
        m_actions.restartClient();
    }
    done(QDialog::Rejected);
}

void CSettingDlg::reject() {
    OnCancel();
}

void CSettingDlg::OnCancel() {
    done(m_bound ? QDialog::Accepted : QDialog::Rejected);
}
