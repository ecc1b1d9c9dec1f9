#pragma once

#include "zub01100export.h"

#include <QString>
#include <Qt>

class QObject;
class TfrmCustoPlanXReal;

namespace host {
class TDataSet;
}

// The service filters of the screen: service groups, services and menu types ("Todos"/"Lista"),
// their searches and checks, and the service and menu-type keys a run reports on.
class ZUB01100_EXPORT ServiceFilters
{
public:
    explicit ServiceFilters(TfrmCustoPlanXReal &form) : m_form(form) {}

    void rbtListaGrupClick(QObject *sender);
    void rbtTodosGrupClick(QObject *sender);
    void rbtListaGrupKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void sbtGrupServClick(QObject *sender);
    void rbtListaServClick(QObject *sender);
    void rbtTodosServClick(QObject *sender);
    void rbtListaServKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void sbtServicoClick(QObject *sender);
    void Servico();
    void Vd_ListaGrup(bool required);
    void Vd_ListaServ(bool required);

    void rbtListaTipoCardClick(QObject *sender);
    void rbtTodosTipoCardClick(QObject *sender);
    void rbtListaTipoCardKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void sbtTipoCardClick(QObject *sender);
    void qryTipoCardBeforeOpen(host::TDataSet *dataSet);
    QString montaListaTipoCard();
    void Vd_TipoCard();

    // GetServico into the form's cdsServico with the branch, group and grouping choices in force.
    void loadServices();

private:
    TfrmCustoPlanXReal &m_form;
};
