// The run every output of the report carries, and "Abrir filtros de um relatório…", which
// puts the filters of such a file back on the screen.
#include "Cli_zub01100.h"

#include "host/data/errors.h"
#include "host/work/longwork.h"
#include "host/form/reportdialog.h"
#include "host/services/hostservices.h"
#include "host/services/reportfolder.h"
#include "host/services/userinteraction.h"
#include "host/widgets/busyindicator.h"
#include "report/reportrun.h"

#include <QDateTime>
#include <QDir>

#include <atomic>
#include <chrono>
#include <exception>
#include <thread>

using namespace host;

namespace {

const QString kFiltersKey = QStringLiteral("filtros");

// The record of a report file, read on a thread of its own: the window keeps painting behind the
// busy panel while a large file is read. A cancel is answered once the read, which is bounded,
// has ended.
QJsonObject readRecordOffTheWindow(const QString &path)
{
    BusyWork busy(HostServices::current().mainWindow(), QStringLiteral("Lendo o arquivo…"));
    QJsonObject record;
    std::exception_ptr failure;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        try {
            record = ReportRun::read(path);
        } catch (...) {
            failure = std::current_exception();
        }
        done = true;
    });
    struct JoinAtEnd {
        std::thread &thread;
        ~JoinAtEnd() { thread.join(); }
    } joinAtEnd{reader};
    while (!done) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        keepResponsive();
    }
    if (failure)
        std::rethrow_exception(failure);
    return record;
}

// The screen's filters that a report file carries; refuses another report's file and one
// without filters, before anything on the screen changes.
QJsonObject filtersOfReportFile(const QString &path, const QString &reportCode)
{
    const QJsonObject record = readRecordOffTheWindow(path);
    const QString fileCode = record.value(QLatin1String("codigoRelatorio")).toString();
    if (fileCode != reportCode)
        throw HostError(QStringLiteral("O arquivo \"%1\" é do relatório %2, não do relatório %3 desta tela.")
                            .arg(QDir::toNativeSeparators(path), fileCode, reportCode));
    const QJsonValue filters = record.value(QLatin1String("execucao")).toObject().value(kFiltersKey);
    if (!filters.isObject())
        throw HostError(QStringLiteral("O arquivo \"%1\" não traz os filtros da tela do relatório %2.")
                            .arg(QDir::toNativeSeparators(path), reportCode));
    return filters.toObject();
}

} // namespace

QJsonObject ReportPreparation::reportRun() const
{
    // Asked as soon as the server has prepared the data, so the moment stands for the data's.
    return {{kFiltersKey, m_form.filterState()},
            {QStringLiteral("dataPlano"), QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"))}};
}

void SavedFilters::mnuAbrirFiltrosRelClick(QObject *)
{
    const std::optional<QString> path = m_form.context().interaction().chooseOpenFile(
        QStringLiteral("Abrir filtros de um relatório"), reportFolder(),
        QStringLiteral("Relatórios (*.pdf *.csv *.xlsx);;Todos os arquivos (*)"));
    if (!path)
        return;
    // A file may be older than the codes on file now, or come from the other page of the screen
    // (a school's report sent to the central): what does not m_form.apply is left out with one message,
    // as with saved filters.
    QJsonObject filters = filtersOfReportFile(*path, m_form.ReportCode());
    const QStringList notes = leaveOutOtherPageChoices(filters, QStringLiteral("do relatório"));
    m_form.applyFilterState(filters, TfrmCustoPlanXReal::MissingCodes::Drop, notes);
}
