#include "host/widgets/helpwindow.h"

#include "host/data/errors.h"
#include "host/services/helptopics.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTextBrowser>
#include <QToolBar>

namespace host {

namespace {

QPointer<HelpWindow> s_window;

} // namespace

HelpWindow::HelpWindow(QWidget *owner) : QMainWindow(owner, Qt::Window), m_browser(new QTextBrowser(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    // Left open, it does not keep the client running after the main window closes.
    setAttribute(Qt::WA_QuitOnClose, false);
    QToolBar *tools = addToolBar(QStringLiteral("Navegação"));
    tools->setMovable(false);
    tools->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_back = tools->addAction(QIcon::fromTheme(QStringLiteral("go-previous")), QStringLiteral("Voltar"));
    m_forward = tools->addAction(QIcon::fromTheme(QStringLiteral("go-next")), QStringLiteral("Avançar"));
    m_home = tools->addAction(QIcon::fromTheme(QStringLiteral("go-home")), QStringLiteral("Início"));
    QAction *close = tools->addAction(QIcon::fromTheme(QStringLiteral("window-close")), QStringLiteral("Fechar"));
    m_back->setShortcut(QKeySequence::Back);
    m_forward->setShortcut(QKeySequence::Forward);
    m_home->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Home));
    close->setShortcut(QKeySequence(Qt::Key_Escape));
    for (QAction *action : tools->actions()) {
        action->setToolTip(QStringLiteral("%1 (%2)").arg(action->text(), action->shortcut().toString(QKeySequence::NativeText)));
        action->setShortcutContext(Qt::WindowShortcut);
    }
    m_back->setEnabled(false);
    m_forward->setEnabled(false);

    m_browser->setAccessibleName(QStringLiteral("Página de ajuda"));
    m_browser->setOpenLinks(true);
    m_browser->setOpenExternalLinks(true);
    connect(m_back, &QAction::triggered, m_browser, &QTextBrowser::backward);
    connect(m_forward, &QAction::triggered, m_browser, &QTextBrowser::forward);
    connect(m_home, &QAction::triggered, this, [this] { m_browser->setSource(QUrl::fromLocalFile(m_indexPath)); });
    connect(close, &QAction::triggered, this, &QWidget::close);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::sourceChanged, this, &HelpWindow::showTitle);

    setCentralWidget(m_browser);
    resize(780, 640);
}

HelpWindow *HelpWindow::showPage(const QString &pagePath, QWidget *owner)
{
    if (!QFileInfo(pagePath).isFile())
        throw HostError(QStringLiteral("A página de ajuda %1 não foi encontrada: a instalação do cliente está incompleta.")
                            .arg(QDir::toNativeSeparators(pagePath)));
    if (!s_window)
        s_window = new HelpWindow(owner ? owner->window() : nullptr);
    s_window->open(pagePath);
    s_window->show();
    s_window->raise();
    s_window->activateWindow();
    return s_window;
}

void HelpWindow::open(const QString &pagePath)
{
    m_indexPath = QFileInfo(pagePath).dir().filePath(HelpIndexPage());
    m_browser->setSource(QUrl::fromLocalFile(pagePath));
    m_browser->setFocus();
}

void HelpWindow::showTitle()
{
    const QString title = m_browser->documentTitle();
    setWindowTitle(title.isEmpty() ? QStringLiteral("Ajuda") : QStringLiteral("Ajuda - %1").arg(title));
}

} // namespace host
