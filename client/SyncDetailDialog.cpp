#include "client/SyncDetailDialog.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include "client/ClientStore.h"
#include "client/Communication.h"
#include "client/EngineLink.h"
#include "client/OpenLocation.h"
#include "store/SyncCodes.h"

namespace {
// Column of the task key and of the full path in each list.
constexpr int kSyncingPriority = 3;
constexpr int kSyncingPath = 5;
constexpr int kSyncingId = 6;
constexpr int kCompletedView = 3;
constexpr int kCompletedPath = 4;
constexpr int kFailedView = 3;
constexpr int kFailedPath = 4;

QTableWidget* MakeList(QWidget* parent, const QStringList& headers, const QList<int>& widths) {
    auto* list = new QTableWidget(0, static_cast<int>(headers.size()), parent);
    list->setHorizontalHeaderLabels(headers);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setShowGrid(true);
    list->verticalHeader()->hide();
    for (int column = 0; column < widths.size(); ++column) {
        if (widths[column] == 0) {
            list->setColumnHidden(column, true);
        } else {
            list->setColumnWidth(column, widths[column]);
        }
    }
    list->horizontalHeader()->setStretchLastSection(false);
    return list;
}

void SetRow(QTableWidget* list, int row, const QStringList& cells) {
    for (int column = 0; column < cells.size(); ++column) {
        auto* item = new QTableWidgetItem(cells[column]);
        item->setToolTip(cells[column]);
        list->setItem(row, column, item);
    }
}

QString Q(const std::wstring& text) {
    return QString::fromStdWString(text);
}
}  // namespace

CSyncDetailDlg::CSyncDetailDlg(const std::wstring& syncDir, int lastState, QWidget* parent)
    : QDialog(parent),
      m_model(syncDir),
      m_pages(new QStackedWidget(this)),
      m_syncing(MakeList(this, {"文件名", "大小", "速度", "优先", "进度", "全路径", "ID"},
                         {198, 72, 72, 72, 100, 0, 0})),
      m_completed(
          MakeList(this, {"文件名", "大小", "时间", "查看", "全路径"}, {250, 72, 120, 72, 0})),
      m_failed(
          MakeList(this, {"", "文件名", "不同步的原因", "查看", "全路径"}, {0, 250, 192, 72, 0})),
      m_status(new QLabel(this)),
      m_progress(new QProgressBar(this)),
      m_pause(new QPushButton(QStringLiteral("暂停"), this)),
      m_start(new QPushButton(QStringLiteral("启动同步"), this)),
      m_clear(new QPushButton(QStringLiteral("清空记录"), this)),
      m_completedCount(new QLabel(this)),
      m_failedCount(new QLabel(this)) {
    setObjectName(QStringLiteral("同步详情2014"));
    setWindowTitle(QStringLiteral("同步详情"));
    resize(600, 420);
    // The failed list carries its full path in column 4; the unnamed first column is empty.
    auto* layout = new QVBoxLayout(this);
    auto* tabs = new QHBoxLayout();
    auto* group = new QButtonGroup(this);
    int index = 0;
    for (const char* title : {"正在同步", "同步完成", "同步失败"}) {
        auto* button = new QPushButton(QString::fromUtf8(title), this);
        button->setCheckable(true);
        button->setChecked(index == 0);
        group->addButton(button, index++);
        tabs->addWidget(button);
    }
    tabs->addStretch();
    layout->addLayout(tabs);
    connect(group, &QButtonGroup::idClicked, m_pages, &QStackedWidget::setCurrentIndex);

    auto* syncingPage = new QWidget(this);
    auto* syncingLayout = new QVBoxLayout(syncingPage);
    syncingLayout->setContentsMargins(0, 0, 0, 0);
    syncingLayout->addWidget(m_syncing);
    auto* statusRow = new QHBoxLayout();
    statusRow->addWidget(m_status, 1);
    statusRow->addWidget(m_progress);
    statusRow->addWidget(m_pause);
    statusRow->addWidget(m_start);
    syncingLayout->addLayout(statusRow);
    m_pages->addWidget(syncingPage);

    auto* completedPage = new QWidget(this);
    auto* completedLayout = new QVBoxLayout(completedPage);
    completedLayout->setContentsMargins(0, 0, 0, 0);
    completedLayout->addWidget(m_completed);
    auto* completedRow = new QHBoxLayout();
    completedRow->addWidget(m_completedCount, 1);
    completedRow->addWidget(m_clear);
    completedLayout->addLayout(completedRow);
    m_pages->addWidget(completedPage);

    auto* failedPage = new QWidget(this);
    auto* failedLayout = new QVBoxLayout(failedPage);
    failedLayout->setContentsMargins(0, 0, 0, 0);
    failedLayout->addWidget(m_failed);
    failedLayout->addWidget(m_failedCount);
    m_pages->addWidget(failedPage);
    layout->addWidget(m_pages);

    auto* closeRow = new QHBoxLayout();
    closeRow->addStretch();
    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    closeRow->addWidget(close);
    layout->addLayout(closeRow);

    m_progress->setRange(0, 100);
    m_progress->setMaximumWidth(120);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_pause, &QPushButton::clicked, this, &CSyncDetailDlg::OnPause);
    connect(m_start, &QPushButton::clicked, this, &CSyncDetailDlg::OnStart);
    connect(m_clear, &QPushButton::clicked, this, &CSyncDetailDlg::OnClear);
    connect(m_syncing, &QTableWidget::cellClicked, this, &CSyncDetailDlg::OnSyncingCell);
    connect(m_completed, &QTableWidget::cellClicked, this, [this](int row, int column) {
        OnViewCell(m_completed, row, column, kCompletedView, kCompletedPath);
    });
    connect(m_failed, &QTableWidget::cellClicked, this, [this](int row, int column) {
        OnViewCell(m_failed, row, column, kFailedView, kFailedPath);
    });

    m_model.SetState(lastState);
    ShowPausedButtons(GetSystemConfig("Stop") == L"1");
    LoadSync();
    m_model.LoadCompleted();
    m_model.LoadFailed();
    RefreshCompleted();
    RefreshFailed();
    RefreshTexts();
    Listen();
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &CSyncDetailDlg::Tick);
    m_timer.start();
}

CSyncDetailDlg::~CSyncDetailDlg() {
    CCommunication::Get().RemoveListener(this);
}

void CSyncDetailDlg::Listen() {
    CCommunication& comm = CCommunication::Get();
    // Every callback moves to the UI thread; the window as context drops calls queued for a
    // window that has gone.
    auto on = [this, &comm](unsigned id, std::function<void(std::uint32_t, std::uint32_t)> act) {
        comm.AddListener(
            id,
            [this, act](std::uint32_t w, std::uint32_t l) {
                QMetaObject::invokeMethod(
                    this, [act, w, l] { act(w, l); }, Qt::QueuedConnection);
            },
            this);
    };
    // The completed task's callbacks get the status first and the key second.
    on(MSG_TASK_COMPLETED, [this](std::uint32_t, std::uint32_t key) {
        if (m_model.OnCompleteSingleTask(static_cast<int>(key))) {
            m_progress->setValue(100);
            RefreshSyncing();
            RefreshCompleted();
            RefreshTexts();
        }
    });
    on(MSG_TASK_FAILED, [this](std::uint32_t key, std::uint32_t) {
        if (m_model.OnFailSingleTask(static_cast<int>(key))) {
            RefreshSyncing();
            RefreshFailed();
            RefreshTexts();
        }
    });
    on(MSG_SYNC_STATUS, [this](std::uint32_t, std::uint32_t state) {
        if (m_model.OnSyncStatus(static_cast<int>(state))) {
            LoadSync();
        }
        RefreshSyncing();
        RefreshTexts();
    });
    on(MSG_ADJUST_PRIORITY_RESULT, [this](std::uint32_t key, std::uint32_t result) {
        m_model.OnAdjustPriorityResult(static_cast<int>(key), static_cast<int>(result));
        RefreshSyncing();
    });
    on(MSG_SPEED, [this](std::uint32_t up, std::uint32_t down) {
        m_model.OnSpeed(up, down, GetSystemConfig("Stop") == L"1");
        RefreshSyncing();
    });
    on(MSG_MEANSPEED, [this](std::uint32_t up, std::uint32_t down) {
        m_model.OnMeanSpeed(up, down);
        RefreshTexts();
    });
    on(NOTICE_TRAY_PAUSED, [this](std::uint32_t, std::uint32_t) { ShowPausedButtons(true); });
    on(NOTICE_TRAY_RESUMED, [this](std::uint32_t, std::uint32_t) { ShowPausedButtons(false); });
    on(NOTICE_OFFLINE, [this](std::uint32_t, std::uint32_t) {
        m_start->hide();
        m_pause->show();
    });
    on(NOTICE_ONLINE, [this](std::uint32_t, std::uint32_t) {
        ShowPausedButtons(GetSystemConfig("Stop") == L"1");
    });
}

void CSyncDetailDlg::LoadSync() {
    if (m_model.LoadSync()) {
        PostToEngine(MSG_GET_SPEED, 0, 0);
    }
    RefreshSyncing();
}

void CSyncDetailDlg::ShowPausedButtons(bool paused) {
    m_pause->setVisible(!paused);
    m_start->setVisible(paused);
}

void CSyncDetailDlg::OnPause() {
    ShowPausedButtons(true);
    PostToEngine(MSG_SETTING_PAUSESYNC, 0, 0);
    CCommunication::Get().Dispatch(NOTICE_DETAIL_PAUSED, 0, 0);
    SetSystemConfig("Stop", L"1");
}

void CSyncDetailDlg::OnStart() {
    if (GetSystemConfig("NetState") != L"1") {
        return;
    }
    ShowPausedButtons(false);
    PostToEngine(MSG_SETTING_RESUMESYNC, 0, 0);
    CCommunication::Get().Dispatch(NOTICE_DETAIL_RESUMED, 0, 0);
    SetSystemConfig("Stop", L"0");
}

void CSyncDetailDlg::OnClear() {
    m_model.ClearCompleted();
    RefreshCompleted();
}

void CSyncDetailDlg::OnSyncingCell(int row, int column) {
    QTableWidgetItem* id = m_syncing->item(row, kSyncingId);
    if (column == kSyncingPriority && id != nullptr) {
        PostToEngine(MSG_ADJUST_PRIORITY, static_cast<plat::WPARAM>(id->text().toInt()), 0);
    }
}

void CSyncDetailDlg::OnViewCell(QTableWidget* list, int row, int column, int viewColumn,
                                int pathColumn) {
    QTableWidgetItem* path = list->item(row, pathColumn);
    if (column == viewColumn && path != nullptr) {
        OpenLocation(path->text().toStdWString());
    }
}

void CSyncDetailDlg::Tick() {
    if (GetSystemConfig("Stop") == L"1") {
        return;
    }
    if (m_model.LoadSync()) {
        PostToEngine(MSG_GET_SPEED, 0, 0);
        PostToEngine(MSG_GET_MEANSPEED, 0, 0);
    }
    RefreshSyncing();
    RefreshTexts();
}

void CSyncDetailDlg::RefreshSyncing() {
    std::vector<SyncingRow> rows = m_model.Syncing();
    m_syncing->setRowCount(static_cast<int>(rows.size()));
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const SyncingRow& r = rows[i];
        SetRow(m_syncing, i,
               {Q(r.name), Q(r.size), Q(r.speed), Q(r.priority), Q(r.progress), Q(r.fullPath),
                Q(r.id)});
    }
    m_progress->setVisible(m_model.ProgressVisible());
}

void CSyncDetailDlg::RefreshCompleted() {
    const auto& rows = m_model.Completed();
    m_completed->setRowCount(static_cast<int>(rows.size()));
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const CompletedRow& r = rows[i];
        SetRow(m_completed, i, {Q(r.name), Q(r.size), Q(r.time), Q(r.view), Q(r.fullPath)});
    }
    m_completedCount->setText(Q(CSyncDetailModel::CountText(rows.size())));
}

void CSyncDetailDlg::RefreshFailed() {
    const auto& rows = m_model.Failed();
    m_failed->setRowCount(static_cast<int>(rows.size()));
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const FailedRow& r = rows[i];
        SetRow(m_failed, i, {QString(), Q(r.name), Q(r.reason), Q(r.view), Q(r.fullPath)});
    }
    m_failedCount->setText(Q(CSyncDetailModel::CountText(rows.size())));
}

void CSyncDetailDlg::RefreshTexts() {
    m_status->setText(Q(m_model.StatusText()));
}
