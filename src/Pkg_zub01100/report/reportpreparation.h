#pragma once

#include "zub01100export.h"

#include <QString>

class TfrmCustoPlanXReal;

namespace host {
class TParams;
}

// A report run's work on the server around the base form's output: the checks before it, the
// consolidated plan and key lists it prepares, the layout's parameters, and their clean-up.
class ZUB01100_EXPORT ReportPreparation
{
public:
    explicit ReportPreparation(TfrmCustoPlanXReal &form) : m_form(form) {}

    void PreparaImpressao(bool required);
    void rpddPadraoBeforeGetQueryParams(host::TParams &params, bool &handled);
    void rpddPadraoQRPAfterPrint();
    void rpddPadraoQRPAfterPreview();
    void deletaConsPlan();
    void deletaListas();
    // Why a run found nothing, asked of the server while the run's lists still exist.
    QString motivoRelatorioVazio();

private:
    TfrmCustoPlanXReal &m_form;
};
