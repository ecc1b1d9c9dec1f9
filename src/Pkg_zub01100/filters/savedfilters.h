#pragma once

#include "filters/relativeperiod.h"
#include "wire/datapacket.h"
#include "zub01100export.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

class QObject;
class TfrmCustoPlanXReal;

// The filters kept away from the screen: saved on the server under a name, per operator, and
// carried by every report file ("Abrir filtros de um relatório…" brings them back).
class ZUB01100_EXPORT SavedFilters
{
public:
    explicit SavedFilters(TfrmCustoPlanXReal &form) : m_form(form) {}

    // The entries of these commands, with keys of their own, below the save menu's.
    void addMenuEntries();

    void mnuSalvarFiltrosClick(QObject *sender);
    void mnuAbrirFiltrosClick(QObject *sender);
    void mnuApagarFiltrosClick(QObject *sender);
    void mnuAbrirFiltrosRelClick(QObject *sender);
    // Applies the operator's saved filter `name` (of `owner`, or "" for its own, else the one
    // shared under that name) with `overrides` laid over it; codes no longer on file are dropped.
    void applySavedFilter(const QString &name, const QString &owner, const QJsonObject &overrides = {});
    // Removes from `state` the branch keys of the other page of the screen; says which narrowed
    // the report ("dos filtros salvos", "do relatório" name the `source`).
    QStringList leaveOutOtherPageChoices(QJsonObject &state, const QString &source) const;
    // The central's school years (GetAnoLetivo), which the period rule "ano letivo" resolves on.
    QList<zub01100::SchoolYear> loadSchoolYears();

private:
    // The operator's saved filters (ListaFiltros) as a table to choose from; rows own first.
    wire::DataPacket loadSavedFilters();

    TfrmCustoPlanXReal &m_form;
};
