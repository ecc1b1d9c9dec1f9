#pragma once

#include <QList>
#include <QString>

namespace host {

// What "Editar relatório" lets the user change in a copy of a layout: its title and which
// columns show, in which order and under which label.
struct ReportLayoutEdit {
    struct Column {
        QString field;
        QString label;
        bool visible = true;
    };
    QString title;
    QList<Column> columns;
};

} // namespace host
