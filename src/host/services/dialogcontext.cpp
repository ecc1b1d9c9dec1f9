#include "host/services/dialogcontext.h"

#include "host/data/errors.h"
#include "host/services/hostservices.h"
#include "host/services/session.h"

namespace host {

DialogContext DialogContext::installed()
{
    if (!HostServices::isInstalled())
        return {};
    const HostServices &services = HostServices::current();
    return {&services.ui(), &services.dtmDBGeral(), &services.session(), services.mainWindow()};
}

UserInteraction &DialogContext::interaction() const
{
    if (!ui)
        throw HostError(QStringLiteral("O diálogo foi aberto sem interação com o usuário."));
    return *ui;
}

TdtmDBGeral &DialogContext::generalDatabase() const
{
    if (!database)
        throw HostError(QStringLiteral("O relatório foi aberto sem o banco de dados geral."));
    return *database;
}

TPictObj DialogContext::productCodePicture() const
{
    if (!session)
        throw HostError(QStringLiteral("O relatório foi aberto sem a sessão do usuário."));
    return session->dbPictObj(0);
}

QString DialogContext::reportsDir() const
{
    return session ? session->config().reportsDir : QString();
}

} // namespace host
