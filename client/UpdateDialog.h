#pragma once
// The update window (CUpdataExpDlg): the headline with both versions and the cleaned release
// notes; "立即更新" ends it with Accepted, cancel and close with Rejected. The forced and the
// optional mode look the same. Found by its object name "CorvenaupdataExp". UI thread.

#include <QDialog>
#include <string>

#include "client/VersionCheck.h"

class QLabel;
class QPushButton;

class CUpdataExpDlg : public QDialog {
    Q_OBJECT
  public:
    CUpdataExpDlg(EUpdateMode mode, const std::string& version, const std::wstring& notes,
                  QWidget* parent = nullptr);

    EUpdateMode Mode() const { return m_mode; }
    QLabel* Headline() const { return m_headline; }
    QLabel* Notes() const { return m_notes; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

  private:
    EUpdateMode m_mode;
    QLabel* m_headline;
    QLabel* m_notes;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};
