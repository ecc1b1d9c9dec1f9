#pragma once

#include "zub01100export.h"

#include <QString>
#include <Qt>

class QObject;
class TfrmCustoPlanXReal;

// The branch filters of the screen: the aggregated branch (single-branch page), the branch
// grouping and the list of aggregated branches ("Todos"/"Lista"), with their lookups and checks.
class ZUB01100_EXPORT BranchFilters
{
public:
    explicit BranchFilters(TfrmCustoPlanXReal &form) : m_form(form) {}

    void Vd_CdFilial(bool required);
    void medCdFilialChange(QObject *sender);
    void medCdFilialExit(QObject *sender);
    void btnFilialBeforePesq(QObject *sender, bool &proceed);
    void btnFilialAfterPesq(QObject *sender);

    void Vd_AgrupFili();
    void edtCdAgrupFiliChange(QObject *sender);
    void edtCdAgrupFiliExit(QObject *sender);
    void btnAgrupFiliBeforePesq(QObject *sender, bool &proceed);
    void btnAgrupFiliAfterPesq(QObject *sender);
    void rbtTodaFiliAgregClick(QObject *sender);
    void rbtListaFiliAgregClick(QObject *sender);
    void sbtFiliAgregClick(QObject *sender);
    void rbtListaFiliAgregKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void Vd_ListaFiliAgreg();

    // GetFiliAgreg into the form's cdsFiliAgreg, for one branch code or "" for all.
    void loadAggregatedBranches(const QString &branch);
    // GetAgrupFili into the form's cdsAgrupFili, for "T" or one padded code.
    void loadGroupings(const QString &grouping);

private:
    TfrmCustoPlanXReal &m_form;
};
