#include "client/signindialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace client {

SignInDialog::SignInDialog(const QString &operatorCode, std::function<QString(const Credentials &)> attempt, QWidget *parent)
    : QDialog(parent), m_attempt(std::move(attempt)), m_operator(new QLineEdit(operatorCode)), m_password(new QLineEdit),
      m_problem(new QLabel)
{
    setWindowTitle(QStringLiteral("Entrar no Planejamento de Alimentação Escolar"));
    setMinimumWidth(440); // the title whole, under window managers that do not widen a dialog for it
    m_operator->setMaxLength(20);
    m_password->setEchoMode(QLineEdit::Password);
    m_problem->setObjectName(QStringLiteral("problema"));
    m_problem->setWordWrap(true);
    m_problem->setStyleSheet(QStringLiteral("color: #b00020"));
    m_problem->hide();

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("&Operador:"), m_operator);
    form->addRow(QStringLiteral("&Senha:"), m_password);
    auto *buttons = new QDialogButtonBox;
    QPushButton *enter = buttons->addButton(QStringLiteral("&Entrar"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("&Cancelar"), QDialogButtonBox::RejectRole);
    enter->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &SignInDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SignInDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
    (operatorCode.isEmpty() ? m_operator : m_password)->setFocus();
}

void SignInDialog::accept()
{
    if (m_operator->text().trimmed().isEmpty() || m_password->text().isEmpty()) {
        m_problem->setText(QStringLiteral("Informe o operador e a senha."));
        m_problem->show();
        (m_operator->text().trimmed().isEmpty() ? m_operator : m_password)->setFocus();
        return;
    }
    const QString problem = m_attempt(Credentials{m_operator->text().trimmed(), m_password->text()});
    if (problem.isEmpty())
        QDialog::accept();
    else
        showProblem(problem);
}

void SignInDialog::showProblem(const QString &text)
{
    m_problem->setText(text);
    m_problem->show();
    m_password->clear();
    m_password->setFocus();
}

} // namespace client
