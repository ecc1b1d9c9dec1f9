// Scheduled runs: the screen without a window, its filters from one value, one output command.
#include "Cli_zub01100.h"

#include "host/data/errors.h"
#include "host/form/reportdialog.h"
#include "host/services/dispatcher.h"
#include "host/services/hostservices.h"
#include "host/services/userinteraction.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QToolButton>

namespace {

// One scheduled run: the filters of the JSON (over the saved filter named, if any), then the command.
int runBatch(const QString &savedFilter, const char *filtersJson, const char *command)
{
    host::UserInteraction &ui = host::HostServices::current().ui();
    const QString commandName = QString::fromUtf8(command);
    const QStringList commands{QStringLiteral("imprimir"), QStringLiteral("salvar"), QStringLiteral("texto")};
    if (!commands.contains(commandName)) {
        ui.showError(QStringLiteral("Comando de lote desconhecido: \"%1\" (use imprimir, salvar ou texto).").arg(commandName));
        return 2;
    }
    QJsonParseError parseError;
    const QJsonDocument filters = QJsonDocument::fromJson(QByteArray(filtersJson), &parseError);
    if (parseError.error != QJsonParseError::NoError || !filters.isObject()) {
        ui.showError(QStringLiteral("Filtros inválidos: %1.").arg(parseError.errorString()));
        return 2;
    }

    bool started = false;
    host::Dispatch([&] {
        CriaCustoPlanXReal();
        started = frmCustoPlanXReal != nullptr;
    });
    if (!started)
        return 2;
    TfrmCustoPlanXReal *form = frmCustoPlanXReal;
    int result = 2;
    // A filter the screen's checks refuse (a code not on file, say) is a failed check, like those
    // of the report run; a filter that cannot be read at all is bad input.
    bool checkFailed = false;
    const bool applied = host::Dispatch([&] {
        form->FormActivate(form);
        try {
            if (savedFilter.isEmpty())
                form->applyFilterState(filters.object());
            else
                form->savedFilters().applySavedFilter(savedFilter, QString(), filters.object());
        } catch (const host::AbortError &) {
            checkFailed = true;
            throw;
        }
    });
    if (!applied && checkFailed)
        result = 1;
    if (applied) {
        const auto output = [&] {
            if (commandName == QLatin1String("imprimir"))
                form->sbtPrintClick(form->sbtPrint);
            else if (commandName == QLatin1String("salvar"))
                form->sbtSalvarComoClick(form->sbtSalvarComo);
            else {
                // A scheduled text is checked like the other outputs, and nobody is left to
                // delete the lists it stored once the run ends.
                form->reportPreparation().PreparaImpressao(true);
                form->mnuSalvarTextoClick(form->mnuSalvarTexto);
                form->reportPreparation().deletaListas();
            }
        };
        const bool done = host::Dispatch([&] {
            // An output is written whole or not at all, so a server's failure (a server or the
            // database lost in a switch-over) before it was written left nothing of it behind:
            // once more, from the start. After it was written only the clean-up failed: told,
            // never printed twice.
            try {
                output();
            } catch (const host::ServerError &error) {
                if (form->rpddPadrao->LastOutputDone())
                    throw;
                ui.showNotice(QStringLiteral("%1\nTentando mais uma vez.").arg(error.text()));
                output();
            }
        });
        result = done ? 0 : 1;
    }
    if (frmCustoPlanXReal)
        frmCustoPlanXReal->Close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return result;
}

} // namespace

int ExecutaLote(const char *filtersJson, const char *command)
{
    return runBatch(QString(), filtersJson, command);
}

int ExecutaLoteFiltroSalvo(const char *savedFilter, const char *filtersJson, const char *command)
{
    return runBatch(QString::fromUtf8(savedFilter), filtersJson, command);
}

const char *ChavesFiltroLote()
{
    static const QByteArray keys = [] {
        const QHash<zub01100::FilterKeyKind, QString> kinds{{zub01100::FilterKeyKind::Text, QStringLiteral("texto")},
                                                           {zub01100::FilterKeyKind::Number, QStringLiteral("numero")},
                                                           {zub01100::FilterKeyKind::Flag, QStringLiteral("logico")},
                                                           {zub01100::FilterKeyKind::Codes, QStringLiteral("codigos")}};
        QJsonArray array;
        for (const zub01100::FilterKeyHelp &key : zub01100::filterKeyHelp())
            array.append(QJsonObject{{"chave", key.key}, {"tipo", kinds.value(key.kind)}, {"valores", key.values}, {"campo", key.field}});
        return QJsonDocument(array).toJson(QJsonDocument::Compact);
    }();
    return keys.constData();
}
