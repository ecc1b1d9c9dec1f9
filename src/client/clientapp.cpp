#include "client/clientapp.h"

#include "client/mainwindow.h"
#include "client/menuentries.h"
#include "client/moduleloader.h"
#include "host/clientconfig.h"
#include "host/dbgeral.h"
#include "host/dispatcher.h"
#include "host/errors.h"
#include "host/hostservices.h"
#include "host/qtuserinteraction.h"
#include "host/session.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTranslator>
#include <cstdio>

namespace client {

using host::HostError;

static const char kConfigOption[] = "config";
static const char kOpenOption[] = "open";

static void tell(const QString &text, bool onScreen)
{
    std::fprintf(stderr, "zub-client: %s\n", qPrintable(text));
    const QString platform = QGuiApplication::platformName();
    if (onScreen && platform != QLatin1String("offscreen") && platform != QLatin1String("minimal"))
        QMessageBox::critical(nullptr, QStringLiteral("Erro ao iniciar o cliente"), text);
}

static QString defaultConfigPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)).filePath(QStringLiteral("zub/client.ini"));
}

static host::ClientConfig readConfig(const QCommandLineParser &parser)
{
    QString path = parser.value(QLatin1String(kConfigOption));
    if (path.isEmpty() && QFileInfo::exists(defaultConfigPath()))
        path = defaultConfigPath();
    host::ClientConfig config = path.isEmpty() ? host::ClientConfig() : host::ClientConfig::fromFile(path);
    config.applyOptions(parser);
    if (config.database.isEmpty())
        throw HostError(QStringLiteral("Banco de dados geral não configurado. Informe o arquivo de configuração com "
                                       "--config ARQUIVO (ou crie %1) ou o banco com --database ENDERECO.")
                            .arg(QDir::toNativeSeparators(defaultConfigPath())));
    if (config.branch.trimmed().isEmpty())
        throw HostError(QStringLiteral("Filial do usuário não configurada: informe \"filial\" na seção [sessao] do "
                                       "arquivo de configuração ou a opção --branch."));
    return config;
}

int RunClient(QApplication &app)
{
    QCoreApplication::setApplicationName(QStringLiteral("zub"));
    auto *translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Cliente do Planejamento de Alimentação Escolar."));
    const QCommandLineOption help = parser.addHelpOption();
    host::ClientConfig::addOptions(parser);
    parser.addOption({QLatin1String(kConfigOption),
                      QStringLiteral("Arquivo de configuração (INI). Padrão: %1, se existir.").arg(defaultConfigPath()),
                      QStringLiteral("arquivo")});
    parser.addOption({QLatin1String(kOpenOption),
                      QStringLiteral("Módulo a abrir ao iniciar, por exemplo PKG_ZUB01100 (pode repetir)."),
                      QStringLiteral("modulo")});
    if (!parser.parse(QCoreApplication::arguments())) {
        tell(parser.errorText() + QStringLiteral("\nUse --help para ver as opções."), false);
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }

    try {
        const host::ClientConfig config = readConfig(parser);
        const auto url = wire::DatabaseUrl::parse(config.database);
        if (!url)
            throw HostError(QStringLiteral("Endereço de banco de dados inválido: %1").arg(config.database));
        host::TdtmDBGeral database;
        database.open(*url);
        host::HostSession session(config, &database);
        const QString branchName = session.nomeFiliProc();

        host::QtUserInteraction ui;
        ModuleLoader modules(QCoreApplication::applicationDirPath());
        // The services outlive the window, so forms freed with it still reach them.
        host::HostServices services(ui, session, database);
        MainWindow window(ReportMenuEntries(), [&modules](const QString &module) { modules.open(module); });
        services.setMainWindow(&window);
        window.setLoggedIn(session.filiProc(), branchName.isEmpty() ? QStringLiteral("(não cadastrada)") : branchName,
                           session.operador());
        window.show();
        for (const QString &module : parser.values(QLatin1String(kOpenOption)))
            host::Dispatch([&] { modules.open(module); });
        const int code = app.exec();
        services.setMainWindow(nullptr);
        return code;
    } catch (const HostError &error) {
        tell(error.text(), true);
        return 1;
    }
}

} // namespace client
