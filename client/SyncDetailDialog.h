#pragma once
// The sync detail window (CSyncDetailDlg): the syncing, completed and failed pages, the status
// line, speed polls of the engine every second, and its own pause and start buttons. One at a
// time, found by its object name "同步详情2014".
//
// Threads: UI thread. Its listeners run on the message thread and only queue a call to the
// window (dropped once the window is gone); the destructor removes them, waiting for one that
// runs.

#include <QDialog>
#include <QTimer>
#include <memory>

#include "client/SyncDetailModel.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTableWidget;

class CSyncDetailDlg : public QDialog {
    Q_OBJECT
  public:
    CSyncDetailDlg(const std::wstring& syncDir, int lastState, QWidget* parent = nullptr);
    ~CSyncDetailDlg() override;

    CSyncDetailModel& Model() { return m_model; }
    QTableWidget* SyncingList() const { return m_syncing; }
    QTableWidget* CompletedList() const { return m_completed; }
    QTableWidget* FailedList() const { return m_failed; }
    QLabel* StatusLabel() const { return m_status; }
    QPushButton* PauseButton() const { return m_pause; }
    QPushButton* StartButton() const { return m_start; }
    QPushButton* ClearButton() const { return m_clear; }
    QProgressBar* Progress() const { return m_progress; }
    QStackedWidget* Pages() const { return m_pages; }
    QLabel* CompletedCount() const { return m_completedCount; }
    QLabel* FailedCount() const { return m_failedCount; }

    // The timer-4 tick: reads the syncing list again and asks for the speeds.
    void Tick();

  private:
    void Listen();
    void ShowPausedButtons(bool paused);
    void OnPause();
    void OnStart();
    void OnClear();
    void OnSyncingCell(int row, int column);
    void OnViewCell(QTableWidget* list, int row, int column, int viewColumn, int pathColumn);
    void RefreshSyncing();
    void RefreshCompleted();
    void RefreshFailed();
    void RefreshTexts();
    void LoadSync();

    CSyncDetailModel m_model;
    QStackedWidget* m_pages;
    QTableWidget* m_syncing;
    QTableWidget* m_completed;
    QTableWidget* m_failed;
    QLabel* m_status;
    QProgressBar* m_progress;
    QPushButton* m_pause;
    QPushButton* m_start;
    QPushButton* m_clear;
    QLabel* m_completedCount;
    QLabel* m_failedCount;
    QTimer m_timer;
};
