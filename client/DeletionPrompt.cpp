#include "client/DeletionPrompt.h"

#include <QMessageBox>
#include <QPushButton>

#include "client/EngineLink.h"
#include "client/MessageBox.h"
#include "common/AfLog.h"
#include "store/SyncCodes.h"

namespace {

QString DeletionText(int count) {
    return QStringLiteral("有 %1 个文件将被删除，是否确认？\n确认之前，这些文件不会被删除。")
        .arg(count);
}

}  // namespace

CDeletionPrompt::CDeletionPrompt(QObject* parent) : QObject(parent) {}

CDeletionPrompt::~CDeletionPrompt() {
    delete m_deletionBox;
    delete m_refusedBox;
}

void CDeletionPrompt::OnDeletionsHeld(int count) {
    if (count <= 0) {
        return;
    }
    m_count = count;
    if (m_deletionBox) {
        m_deletionBox->setText(DeletionText(count));
        return;
    }
    if (count == m_declinedCount) {
        return;
    }
    OpenDeletionBox();
}

int CDeletionPrompt::WaitingCount() const {
    return m_deletionBox ? 0 : m_declinedCount;
}

void CDeletionPrompt::Reopen() {
    if (m_deletionBox) {
        m_deletionBox->raise();
        m_deletionBox->activateWindow();
        return;
    }
    if (m_count > 0) {
        OpenDeletionBox();
    }
}

void CDeletionPrompt::OpenDeletionBox() {
    AfLog(1, "CorvenaDlg", "CDeletionPrompt::OpenDeletionBox", 0,
          "the engine holds %d deletions until they are confirmed", m_count);
    auto* box =
        new QMessageBox(QMessageBox::Warning, QString::fromUtf8(kCaption), DeletionText(m_count));
    m_confirm = box->addButton(QStringLiteral("确认删除"), QMessageBox::AcceptRole);
    m_decline = box->addButton(QStringLiteral("暂不删除"), QMessageBox::RejectRole);
    box->setDefaultButton(m_decline);
    box->setEscapeButton(m_decline);
    // Closing the box any other way than "确认删除" leaves the deletions held.
    connect(box, &QMessageBox::finished, this, [this, box] {
        m_deletionBox = nullptr;
        if (box->clickedButton() == m_confirm) {
            OnConfirm();
        } else {
            OnDecline();
        }
        box->deleteLater();
    });
    m_deletionBox = box;
    box->show();
}

void CDeletionPrompt::OnConfirm() {
    m_declinedCount = 0;
    AfLog(1, "CorvenaDlg", "CDeletionPrompt::OnConfirm", 0, "%d held deletions confirmed", m_count);
    if (!PostToEngine(MSG_RELEASE_DELETIONS, 0, 0)) {
        ShowMessage(nullptr, QStringLiteral("同步程序未正常运行，无法继续此操作"),
                    QString::fromUtf8(kCaption));
    }
}

void CDeletionPrompt::OnDecline() {
    m_declinedCount = m_count;
    AfLog(1, "CorvenaDlg", "CDeletionPrompt::OnDecline", 0, "%d held deletions left held", m_count);
}

void CDeletionPrompt::OnSyncDirRefused() {
    AfLog(4, "CorvenaDlg", "CDeletionPrompt::OnSyncDirRefused", 0, "%s",
          "the engine refused the sync directory");
    if (m_refusedBox) {
        m_refusedBox->raise();
        return;
    }
    auto* box = new QMessageBox(
        QMessageBox::Critical, QString::fromUtf8(kCaption),
        QStringLiteral("无法同步此目录。\n同步目录不能是根目录“/”，也不能包含或位于本程序"
                       "自己的配置和数据文件夹中。\n请更换同步目录。"));
    box->addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    connect(box, &QMessageBox::finished, this, [this, box] {
        m_refusedBox = nullptr;
        box->deleteLater();
    });
    m_refusedBox = box;
    box->show();
}
