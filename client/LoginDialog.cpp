#include "client/LoginDialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "client/ClientSession.h"
#include "client/LoginLogic.h"
#include "client/MessageBox.h"
#include "common/AfLog.h"

CLogInDlg::CLogInDlg(QWidget* parent)
    : QDialog(parent),
      m_account(new QLineEdit(this)),
      m_password(new QLineEdit(this)),
      m_login(new QPushButton(QStringLiteral("登录"), this)),
      m_cancel(new QPushButton(QStringLiteral("取消"), this)) {
    setObjectName(QStringLiteral("CorvenaLoginDialog"));
    setWindowTitle(QStringLiteral("Corvena 登录"));
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(QStringLiteral("Corvena同步盘"), this);
    QFont big = title->font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    title->setFont(big);
    layout->addWidget(title, 0, Qt::AlignHCenter);

    m_account->setMaxLength(32);
    m_account->setPlaceholderText(QStringLiteral("输入成员账号"));
    m_password->setMaxLength(16);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setPlaceholderText(QStringLiteral("输入密码"));
    auto* form = new QFormLayout();
    form->addRow(QStringLiteral("账号："), m_account);
    form->addRow(QStringLiteral("密码："), m_password);
    layout->addLayout(form);

    auto* buttons = new QHBoxLayout();
    buttons->addStretch();
    buttons->addWidget(m_login);
    buttons->addWidget(m_cancel);
    layout->addLayout(buttons);
    m_login->setDefault(true);
    setMinimumWidth(360);

    connect(m_login, &QPushButton::clicked, this, &CLogInDlg::OnLogin);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CLogInDlg::OnLogin() {
    QString account = m_account->text();
    QString password = m_password->text();
    if (account.isEmpty()) {
        ShowMessage(this, QStringLiteral("用户名不能为空！"), QStringLiteral("登录"));
        return;
    }
    if (password.isEmpty()) {
        ShowMessage(this, QStringLiteral("密码不能为空！"), QStringLiteral("登录"));
        return;
    }
    UserInfo user = CClientSession::Get().User();
    user.strAccount = account.toStdString();
    user.strPassword = Base64Encode(password.toStdString());
    int result = LoginWithService(user);
    AfLog(1, "LogInDlg", "CLogInDlg::OnBnClickedLogin", 0, "Login return code=%d", result);
    if (result == 0) {
        CClientSession::Get().SetUser(user);
        accept();
        return;
    }
    ShowMessage(this, QString::fromWCharArray(LoginErrorText(result)), QString::fromUtf8(kCaption));
}
