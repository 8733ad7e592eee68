#include "client/UpdateDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CUpdataExpDlg::CUpdataExpDlg(EUpdateMode mode, const std::string& version,
                             const std::wstring& notes, QWidget* parent)
    : QDialog(parent),
      m_mode(mode),
      m_headline(new QLabel(QString::fromStdWString(UpdateHeadline(version)), this)),
      m_notes(new QLabel(QString::fromStdWString(CleanNotes(notes)), this)),
      m_ok(new QPushButton(QStringLiteral("立即更新"), this)),
      m_cancel(new QPushButton(QStringLiteral("取消"), this)) {
    setObjectName(QStringLiteral("CorvenaupdataExp"));
    setWindowTitle(QStringLiteral("Corvena 版本更新"));
    auto* layout = new QVBoxLayout(this);
    QFont bold = m_headline->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 2);
    m_headline->setFont(bold);
    layout->addWidget(m_headline);
    m_notes->setWordWrap(true);
    m_notes->setTextFormat(Qt::PlainText);
    m_notes->setMinimumWidth(340);
    layout->addWidget(m_notes, 1);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    layout->addLayout(buttons);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}
