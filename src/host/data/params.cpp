#include "host/data/params.h"

#include "host/data/errors.h"

namespace host {

TParam *TParams::find(const QString &name)
{
    for (TParam &param : m_params) {
        if (param.Name.compare(name, Qt::CaseInsensitive) == 0)
            return &param;
    }
    return nullptr;
}

const TParam *TParams::find(const QString &name) const
{
    return const_cast<TParams *>(this)->find(name);
}

TParam &TParams::ParamByName(const QString &name)
{
    if (TParam *param = find(name))
        return *param;
    throw HostError(QStringLiteral("Parâmetro \"%1\" não encontrado.").arg(name));
}

const TParam &TParams::ParamByName(const QString &name) const
{
    return const_cast<TParams *>(this)->ParamByName(name);
}

TParam &TParams::declare(const QString &name, ParamType type)
{
    if (TParam *param = find(name))
        return *param;
    m_params.append(TParam(name, type));
    return m_params.last();
}

} // namespace host
