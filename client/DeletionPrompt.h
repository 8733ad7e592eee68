#pragma once
// The engine's notices that wait for the user: deletions it holds back until they are
// confirmed (MSG_DELETIONS_HELD), and a sync directory it refuses (MSG_ERR_SYNCDIR_REFUSED).
// Each is one box that does not block the tray; a repeated message updates the box that is
// already open instead of stacking another. Deletions the user puts off wait in the tray menu,
// whose row opens the box again, until they are confirmed.
//
// Threads: UI thread only (the tray controller queues the engine's messages here).

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QPushButton>

class CDeletionPrompt : public QObject {
    Q_OBJECT
  public:
    explicit CDeletionPrompt(QObject* parent = nullptr);
    ~CDeletionPrompt() override;

    // The engine holds `count` deletions. Opens the box, or puts the new count into the open
    // one. After "暂不删除" the same count does not open it again (the engine repeats it after
    // every comparison); a different count does. A count of 0 is ignored.
    void OnDeletionsHeld(int count);
    // The deletions put off with "暂不删除" (or by closing the box) that wait for a later
    // confirmation; 0 while the box is open or nothing waits. The tray menu offers them.
    int WaitingCount() const;
    // Opens the box again for the deletions that wait, or raises it when it is open.
    void Reopen();
    // The engine refused the sync directory: one notice, shown until it is closed.
    void OnSyncDirRefused();

    // The open boxes, or nullptr.
    QMessageBox* DeletionBox() const { return m_deletionBox; }
    QPushButton* ConfirmButton() const { return m_confirm; }
    QPushButton* DeclineButton() const { return m_decline; }
    QMessageBox* RefusedBox() const { return m_refusedBox; }

  private:
    void OpenDeletionBox();
    void OnConfirm();
    void OnDecline();

    QPointer<QMessageBox> m_deletionBox;
    QPointer<QPushButton> m_confirm;
    QPointer<QPushButton> m_decline;
    QPointer<QMessageBox> m_refusedBox;
    int m_count = 0;
    int m_declinedCount = 0;
};
