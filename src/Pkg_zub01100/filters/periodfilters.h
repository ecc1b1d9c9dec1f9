#pragma once

#include "zub01100export.h"

class QLineEdit;
class QObject;
class TfrmCustoPlanXReal;

namespace host {
class TDateEditPlus;
} // namespace host

// The period, the product types and the cost type of the screen, with their checks.
class ZUB01100_EXPORT PeriodFilters
{
public:
    // The form's widgets these filters read and write: each date and its weekday beside it.
    struct Widgets {
        host::TDateEditPlus *depDataInic;
        host::TDateEditPlus *depDataFina;
        QLineEdit *edtDataInic;
        QLineEdit *edtDataFina;
    };

    PeriodFilters(TfrmCustoPlanXReal &form, const Widgets &widgets) : m_form(form), m_widgets(widgets) {}

    void depDataInicDateChange(QObject *sender);
    void depDataFinaDateChange(QObject *sender);
    void depDataInicExit(QObject *sender);
    void Vd_Data(bool required);
    void Vd_TipoProd(bool required);
    void Vd_TipoCusto();

private:
    TfrmCustoPlanXReal &m_form;
    const Widgets m_widgets;
};
