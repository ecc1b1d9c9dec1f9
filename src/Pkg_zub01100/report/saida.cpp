// Output commands around the base form's: each prepares its run first and cleans up after.
#include "Cli_zub01100.h"

#include "host/data/errors.h"
#include "host/work/longwork.h"
#include "host/network/checkresultserv.h"
#include "host/services/messages.h"
#include "screen/busyscope.h"
#include "wire/codes.h"
#include "wire/wirevalue.h"

using namespace host;
using namespace zub01100;

void TfrmCustoPlanXReal::sbtPrintClick(QObject *sender)
{
    m_reportPreparation->PreparaImpressao(true);
    TfrmDadosGerRel::sbtPrintClick(sender);
    m_reportPreparation->deletaListas();
}

void TfrmCustoPlanXReal::sbtPreviewClick(QObject *sender)
{
    m_reportPreparation->PreparaImpressao(true);
    TfrmDadosGerRel::sbtPreviewClick(sender);
    m_reportPreparation->deletaListas();
}

void TfrmCustoPlanXReal::sbtSalvarComoClick(QObject *sender)
{
    m_reportPreparation->PreparaImpressao(true);
    TfrmDadosGerRel::sbtSalvarComoClick(sender);
    m_reportPreparation->deletaListas();
}

void TfrmCustoPlanXReal::mnuEditRelClick(QObject *sender)
{
    m_reportPreparation->PreparaImpressao(true);
    TfrmDadosGerRel::mnuEditRelClick(sender);
}

void TfrmCustoPlanXReal::mnuRelatPadrClick(QObject *sender)
{
    m_reportPreparation->PreparaImpressao(true);
    TfrmDadosGerRel::mnuRelatPadrClick(sender);
}

void TfrmCustoPlanXReal::mnuSalvarTextoClick(QObject *sender)
{
    // No checks here, but the services in force: a stale (or, in a fresh screen, empty) list
    // would give a report of other services, or of none.
    m_serviceFilters->Servico();
    try {
        TfrmDadosGerRel::mnuSalvarTextoClick(sender);
    } catch (const CancelledError &) {
        // A cancelled text still leaves nothing prepared behind.
        CancelShield shield;
        m_reportPreparation->deletaConsPlan();
        throw;
    }
    m_reportPreparation->deletaConsPlan();
}
