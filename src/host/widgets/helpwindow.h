#pragma once

#include <QMainWindow>

class QAction;
class QTextBrowser;

namespace host {

// The help pages in a window of their own beside the work: links between the pages are followed
// inside it, with "Voltar", "Avançar" and "Início" (the index page) as in a browser. There is one
// help window; asking for another page brings it forward on that page.
class HelpWindow : public QMainWindow
{
    Q_OBJECT
public:
    // Shows the page at `pagePath` (a file of the help folder), in a window owned by `owner`'s
    // window; raises HostError when the page is not installed.
    static HelpWindow *showPage(const QString &pagePath, QWidget *owner);

    QTextBrowser *browser() const { return m_browser; }
    QAction *backAction() const { return m_back; }
    QAction *forwardAction() const { return m_forward; }
    QAction *homeAction() const { return m_home; }

private:
    explicit HelpWindow(QWidget *owner);
    void open(const QString &pagePath);
    void showTitle();

    QTextBrowser *m_browser;
    QAction *m_back;
    QAction *m_forward;
    QAction *m_home;
    QString m_indexPath;
};

} // namespace host
