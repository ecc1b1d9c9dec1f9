#pragma once

#include "host/services/reportlayoutedit.h"

#include <QDialog>

class QLineEdit;
class QPushButton;
class QTableWidget;

namespace host {

// "Editar relatório": the title of the copy and its columns (shown or not, order, label).
// Keyboard: Tab through title, table, "Subir", "Descer", OK and "Cancelar"; Space ticks a
// column, F2 edits its label, "Subir" / "Descer" (Alt+S / Alt+D) move it, Enter confirms, Escape cancels.
class ReportColumnsDialog : public QDialog
{
    Q_OBJECT
public:
    ReportColumnsDialog(const QString &caption, const QString &prompt, const ReportLayoutEdit &initial,
                        QWidget *parent = nullptr);

    ReportLayoutEdit edited() const;
    QLineEdit *titleEdit() const { return m_title; }
    QTableWidget *table() const { return m_table; }

private:
    void move(int step);
    void updateOk();

    QLineEdit *m_title;
    QTableWidget *m_table;
    QPushButton *m_up;
    QPushButton *m_down;
    QPushButton *m_ok;
};

} // namespace host
