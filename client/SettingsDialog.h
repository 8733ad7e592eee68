#pragma once
// The settings window (CSettingDlg): the account binding, the sync directory and its move,
// autostart, the speed limits and forgetting the password. Found by its object name
// "Corvena设置1234". Ends with Accepted while the account stays bound; unbinding and
// forgetting the password start a new client and end it with Rejected, which ends this one.
//
// Threads: UI thread; OK and the move wait for the engine to stop (a few seconds at most).

#include <QDialog>
#include <functional>

#include "client/FolderPrompt.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

struct SettingsActions {
    FolderPrompts prompts = FolderPrompts::Desktop();
    // Starts a new instance of the client.
    std::function<void()> restartClient;
    // The sync directory moved: the main dialog adopts the new path.
    std::function<void(const std::wstring&)> syncDirMoved;
    // Asks before unbinding; true to go on.
    std::function<bool(QWidget*)> confirmUnbind;
};

class CSettingDlg : public QDialog {
    Q_OBJECT
  public:
    CSettingDlg(SettingsActions actions, QWidget* parent = nullptr);

    QLabel* BindingLabel() const { return m_binding; }
    QLineEdit* SyncDirBox() const { return m_dir; }
    QPushButton* MoveButton() const { return m_move; }
    QCheckBox* AutostartBox() const { return m_autostart; }
    QRadioButton* UnlimitedRadio() const { return m_unlimited; }
    QRadioButton* CustomRadio() const { return m_custom; }
    QLineEdit* UploadBox() const { return m_upload; }
    QLineEdit* DownloadBox() const { return m_download; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }
    QPushButton* UnbindButton() const { return m_unbind; }
    QPushButton* ForgetButton() const { return m_forget; }
    bool IsBound() const { return m_bound; }

  protected:
    // The window's close button and Escape answer as "取消" does: while the account is bound
    // the client carries on.
    void reject() override;

  private:
    void OnMove();
    void OnOk();
    void OnUnbind();
    void OnForget();
    void OnCancel();
    void EnableLimits();
    void MoveSyncDir();

    SettingsActions m_actions;
    QLabel* m_binding;
    QLabel* m_unbound;
    QPushButton* m_unbind;
    QLineEdit* m_dir;
    QPushButton* m_move;
    QCheckBox* m_autostart;
    QRadioButton* m_unlimited;
    QRadioButton* m_custom;
    QLineEdit* m_upload;
    QLineEdit* m_download;
    QPushButton* m_forget;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    bool m_bound = true;
    bool m_dirChanged = false;
};
