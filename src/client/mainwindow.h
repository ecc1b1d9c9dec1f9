#pragma once

#include "client/menuentries.h"

#include <QMainWindow>
#include <functional>

class QLabel;
class QMdiArea;
class QMenu;

namespace client {

// The client's main window: report forms open as sub-windows of its MDI area; the "Relatórios"
// menu opens modules; the status bar shows who is logged in where.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // `openModule` runs for a menu entry's module; it is called through the dispatcher.
    MainWindow(const QList<MenuEntry> &entries, std::function<void(const QString &module)> openModule,
               QWidget *parent = nullptr);

    QMdiArea *mdiArea() const { return m_mdiArea; }
    QMenu *reportMenu() const { return m_reportMenu; }
    QLabel *branchLabel() const { return m_branch; }
    QLabel *operatorLabel() const { return m_operator; }

    void setLoggedIn(const QString &branchCode, const QString &branchName, const QString &operatorCode);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QMdiArea *m_mdiArea;
    QMenu *m_reportMenu;
    QLabel *m_branch;
    QLabel *m_operator;
};

} // namespace client
