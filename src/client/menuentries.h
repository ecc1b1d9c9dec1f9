#pragma once

#include <QList>
#include <QString>

namespace client {

// An entry of the "Relatórios" menu: its caption and the module it opens.
struct MenuEntry {
    QString caption;
    QString module;
};

// The report modules the client offers, in menu order.
QList<MenuEntry> ReportMenuEntries();

} // namespace client
