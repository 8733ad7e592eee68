#include "client/InfoDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "client/TrayIcon.h"
#include "client/TrayState.h"
#include "client/VersionCheck.h"

CInfoDlg::CInfoDlg(const QString& objectName, const QString& title, const QString& text,
                   QWidget* parent)
    : QDialog(parent), m_text(new QLabel(text, this)) {
    setObjectName(objectName);
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout();
    auto* icon = new QLabel(this);
    icon->setPixmap(CMyIcon::IconFor(ICON_MAIN).pixmap(48, 48));
    row->addWidget(icon);
    row->addWidget(m_text, 1);
    layout->addLayout(row);
    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch();
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    setMinimumWidth(300);
}

CInfoDlg* CInfoDlg::About(QWidget* parent) {
    return new CInfoDlg(
        QStringLiteral("Corvenaaboutme2014"), QStringLiteral("关于 Corvena"),
        QStringLiteral("Corvena同步盘\n版本号:V%1").arg(QString::fromWCharArray(kDisplayVersion)),
        parent);
}

CInfoDlg* CInfoDlg::UpToDate(QWidget* parent) {
    return new CInfoDlg(
        QStringLiteral("Corvena警告错误2014"), QStringLiteral("Corvena同步盘"),
        QStringLiteral("当前已是最新版本V%1").arg(QString::fromWCharArray(kDisplayVersion)),
        parent);
}
