#pragma once

#include "client/signin.h"

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;

namespace client {

// Asks operator and password at start, keyboard first: the operator field has the focus, Enter
// signs in, Esc cancels. A refused attempt keeps the dialog open with the server's reason and
// the password cleared.
class SignInDialog : public QDialog
{
    Q_OBJECT
public:
    // `attempt` answers "" when the sign-in succeeded, else the reason to show.
    SignInDialog(const QString &operatorCode, std::function<QString(const Credentials &)> attempt, QWidget *parent = nullptr);

    void accept() override;
    // Shows why the last attempt failed and puts the cursor in the password.
    void showProblem(const QString &text);

private:
    std::function<QString(const Credentials &)> m_attempt;
    QLineEdit *m_operator;
    QLineEdit *m_password;
    QLabel *m_problem;
};

} // namespace client
