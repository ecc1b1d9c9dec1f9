#pragma once

#include "zub01100export.h"

#include <QJsonObject>
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
    // The answer of the last plan preparation: the plan number, or the error text.
    const QString &planAnswer() const { return m_planAnswer; }
    // The run an output carries: the filters and when the data was prepared (report/execucao.cpp).
    QJsonObject reportRun() const;

private:
    TfrmCustoPlanXReal &m_form;
    QString m_planAnswer;
};
