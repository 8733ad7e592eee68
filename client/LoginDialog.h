#pragma once
// The login window (CLogInDlg): account and password, login and cancel. Ends with Accepted
// only after a successful login, the record then filled in CClientSession. Found by its object
// name "CorvenaLoginDialog". UI thread only; the login request blocks the window while it runs
// (a few seconds at most against an unreachable service).

#include <QDialog>

class QLineEdit;
class QPushButton;

class CLogInDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CLogInDlg(QWidget* parent = nullptr);

    QLineEdit* AccountBox() const { return m_account; }
    QLineEdit* PasswordBox() const { return m_password; }
    QPushButton* LoginButton() const { return m_login; }
    QPushButton* CancelButton() const { return m_cancel; }

  private:
    void OnLogin();

    QLineEdit* m_account;
    QLineEdit* m_password;
    QPushButton* m_login;
    QPushButton* m_cancel;
};
