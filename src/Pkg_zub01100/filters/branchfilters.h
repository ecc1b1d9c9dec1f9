#pragma once

#include "zub01100export.h"

#include <QString>
#include <Qt>

class QLineEdit;
class QObject;
class TfrmCustoPlanXReal;

namespace host {
class TMaskEdit;
} // namespace host

// The branch filters of the screen: the aggregated branch (single-branch page), the branch
// grouping and the list of aggregated branches ("Todos"/"Lista"), with their lookups and checks.
class ZUB01100_EXPORT BranchFilters
{
public:
    // The form's widgets these filters read and write.
    struct Widgets {
        host::TMaskEdit *medCdFilial;
        QLineEdit *edtNmFilial;
        QLineEdit *edtCdAgrupFili;
        QLineEdit *edtAgrupFili;
    };

    BranchFilters(TfrmCustoPlanXReal &form, const Widgets &widgets) : m_form(form), m_widgets(widgets) {}

    void Vd_CdFilial(bool required);
    // The single branch's code as typed, padded to a branch code's width.
    void padBranchCode();
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
    const Widgets m_widgets;
};
