#include "client/mainwindow.h"

#include "host/services/dispatcher.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>

namespace client {

MainWindow::MainWindow(const QList<MenuEntry> &entries, std::function<void(const QString &)> openModule, QWidget *parent)
    : QMainWindow(parent), m_mdiArea(new QMdiArea(this)), m_branch(new QLabel(this)), m_operator(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Planejamento de Alimentação Escolar"));
    m_mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdiArea);

    QMenu *file = menuBar()->addMenu(QStringLiteral("&Arquivo"));
    QAction *quit = file->addAction(QStringLiteral("&Sair"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, &QWidget::close);

    m_reportMenu = menuBar()->addMenu(QStringLiteral("&Relatórios"));
    for (const MenuEntry &entry : entries) {
        QAction *action = m_reportMenu->addAction(entry.caption);
        action->setData(entry.module);
        connect(action, &QAction::triggered, this, [openModule, module = entry.module] {
            host::Dispatch([&] { openModule(module); });
        });
    }
    if (entries.isEmpty())
        m_reportMenu->addAction(QStringLiteral("(nenhum relatório instalado)"))->setEnabled(false);

    QMenu *windows = menuBar()->addMenu(QStringLiteral("&Janela"));
    connect(windows->addAction(QStringLiteral("&Cascata")), &QAction::triggered, m_mdiArea, &QMdiArea::cascadeSubWindows);
    connect(windows->addAction(QStringLiteral("&Lado a lado")), &QAction::triggered, m_mdiArea, &QMdiArea::tileSubWindows);
    connect(windows->addAction(QStringLiteral("&Fechar todas")), &QAction::triggered, m_mdiArea, &QMdiArea::closeAllSubWindows);

    statusBar()->addWidget(m_branch);
    statusBar()->addWidget(m_operator);
    resize(1024, 720);
}

void MainWindow::setLoggedIn(const QString &branchCode, const QString &branchName, const QString &operatorCode)
{
    m_branch->setText(QStringLiteral("Filial: %1 - %2").arg(branchCode, branchName));
    m_operator->setText(QStringLiteral("Operador: %1").arg(operatorCode));
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Each form runs its own close handling (disconnects, clean-up) before the client goes.
    m_mdiArea->closeAllSubWindows();
    for (QMdiSubWindow *window : m_mdiArea->subWindowList()) {
        if (window->isVisible()) {
            event->ignore();
            return;
        }
    }
    event->accept();
}

} // namespace client
