#include "report/rowvalues.h"

#include "report/reportformat.h"

namespace host {

namespace {

QString paramText(const TParams &params, const QString &name)
{
    const TParam *param = params.find(name);
    return !param || param->IsNull() ? QString() : ReportFormat::param(*param);
}

} // namespace

bool isBlank(const QVariant &value)
{
    return !value.isValid() || value.isNull() || value.toString().trimmed().isEmpty();
}

std::optional<double> numberOf(const QVariant &value)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    return ok && !value.isNull() ? std::optional<double>(number) : std::nullopt;
}

QString filled(const QString &text, const QVariantMap &row, const TParams &params)
{
    return ReportFormat::fill(text, [&](const QString &name) {
        const QString upper = name.toUpper();
        return row.contains(upper) ? ReportFormat::value(row.value(upper)) : paramText(params, name);
    });
}

} // namespace host
