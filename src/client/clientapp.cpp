#include "client/clientapp.h"

#include "client/batchfilters.h"
#include "client/mainwindow.h"
#include "client/menuentries.h"
#include "client/moduleloader.h"
#include "client/signin.h"
#include "client/signindialog.h"
#include "host/network/serverdata.h"
#include "host/data/dbgeral.h"
#include "host/data/errors.h"
#include "host/work/longwork.h"
#include "host/services/batchinteraction.h"
#include "host/services/clientconfig.h"
#include "host/services/dispatcher.h"
#include "host/services/hostservices.h"
#include "host/services/programfolders.h"
#include "host/services/session.h"
#include "host/widgets/qtuserinteraction.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QScreen>
#include <QStandardPaths>
#include <QTranslator>
#include <QTextStream>
#include <csignal>
#include <cstdio>

namespace client {

using host::HostError;

static const char kConfigOption[] = "config";
static const char kOpenOption[] = "open";
static const char kBatchOption[] = "batch";
static const char kOutputOption[] = "output";
static const char kFiltersOption[] = "filters";
static const char kFilterOption[] = "filter";
static const char kSavedFilterOption[] = "preset";
static const char kCredentialsOption[] = "credentials";
static const char kBatchModule[] = "PKG_ZUB01100";

// Exit codes of the batch mode, as the module's ExecutaLote answers them.
enum BatchExit { BatchDone = 0, BatchFailed = 1, BatchBadInput = 2, BatchStopped = 3 };

// SIGINT and SIGTERM stop a scheduled run the way "Cancelar" stops one on screen: the call under
// way ends on both sides, what the server prepared is deleted, and the run exits with BatchStopped.
static void stopOnSignal(int)
{
    host::requestStop();
}

static void stopBatchOnSignals()
{
    struct sigaction action {};
    action.sa_handler = &stopOnSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    host::setWorkStageListener([](const QString &stage) {
        if (!stage.isEmpty())
            QTextStream(stderr) << stage << Qt::endl;
    });
}

// False on the offscreen and minimal platforms: nobody is there to answer a dialog.
static bool personAtScreen()
{
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

static void tell(const QString &text, bool onScreen)
{
    std::fprintf(stderr, "zub-client: %s\n", qPrintable(text));
    if (onScreen && personAtScreen())
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
    if (config.obsoleteDatabase)
        tell(QStringLiteral("aviso: a seção [banco] (ou a opção --database) não é mais usada: o cliente recebe todos os dados do "
                            "servidor de aplicação e não acessa o banco de dados; ela pode ser apagada da configuração."),
             false);
    return config;
}

// ---- operator sign-in
// A configured token is the shared one of machine-to-machine use, with the branch of the
// configuration; otherwise the client signs in as an operator and the session gives the branch.
static bool usesSharedToken(const host::ClientConfig &config)
{
    return !config.token.isEmpty() || !config.tokenFile.isEmpty();
}

static void requireBranch(const host::ClientConfig &config)
{
    if (config.branch.trimmed().isEmpty())
        throw HostError(QStringLiteral("Filial do usuário não configurada: informe \"filial\" na seção [sessao] do "
                                       "arquivo de configuração ou a opção --branch."));
}

// Signs in with the credentials of --credentials or the environment; on screen without them,
// asks. Nothing when the shared token is used, or when the person cancelled (*cancelled).
static std::optional<SignedIn> signInOperator(host::ClientConfig &config, const QCommandLineParser &parser, bool onScreen, bool *cancelled)
{
    *cancelled = false;
    if (usesSharedToken(config))
        return std::nullopt;
    std::optional<SignedIn> session;
    QString unattendedRefusal;
    QString operatorCode = config.operatorCode;
    if (const auto credentials = unattendedCredentials(parser.value(QLatin1String(kCredentialsOption)))) {
        operatorCode = credentials->operatorCode; // asked again, the person types only the password
        try {
            session = signIn(config, *credentials);
        } catch (const HostError &error) {
            // On screen a person can still type the right ones (a password changed since).
            if (!onScreen)
                throw;
            unattendedRefusal = error.text();
        }
    } else if (!onScreen) {
        throw HostError(QStringLiteral("Informe as credenciais do operador: --credentials ARQUIVO (legível só pelo dono) "
                                       "ou as variáveis ZUB_OPERADOR e ZUB_SENHA."));
    }
    if (!session) {
        SignInDialog dialog(operatorCode, [&](const Credentials &typed) {
            try {
                session = signIn(config, typed);
                return QString();
            } catch (const HostError &error) {
                return error.text();
            }
        });
        if (!unattendedRefusal.isEmpty())
            dialog.showProblem(unattendedRefusal);
        if (dialog.exec() != QDialog::Accepted) {
            *cancelled = true;
            return std::nullopt;
        }
    }
    adoptSession(config, *session);
    return session;
}
// ---- end of operator sign-in

// The general data from the application server, and the logged-in session, as the interactive
// client and the batch mode share them.
struct LoggedIn {
    explicit LoggedIn(const host::ClientConfig &config) : session(config, &fromServer(config, database)) {}
    static host::TdtmDBGeral &fromServer(const host::ClientConfig &config, host::TdtmDBGeral &database)
    {
        database.useServer(std::make_shared<host::ServerDataSource>(config.serverHost, config.serverPort));
        return database;
    }
    host::TdtmDBGeral database;
    host::HostSession session;
};

// The batch mode: the module's screen without a window, its filters from the options, one
// output command into --output, messages on stderr.
static int RunBatch(const QCommandLineParser &parser)
{
    const QString command = parser.value(QLatin1String(kBatchOption));
    const QString output = parser.value(QLatin1String(kOutputOption));
    const QStringList modules = parser.values(QLatin1String(kOpenOption));
    host::BatchInteraction ui(output.isEmpty() ? QString() : QFileInfo(output).absoluteFilePath());
    if (output.isEmpty()) {
        ui.showError(QStringLiteral("O modo lote precisa do arquivo a gerar: --output ARQUIVO."));
        return BatchBadInput;
    }
    if (modules.size() > 1) {
        ui.showError(QStringLiteral("O modo lote executa um único módulo (--open)."));
        return BatchBadInput;
    }
    // An empty name would otherwise run on the --filters alone, as if no saved filter were asked.
    if (parser.isSet(QLatin1String(kSavedFilterOption)) && parser.value(QLatin1String(kSavedFilterOption)).trimmed().isEmpty()) {
        ui.showError(QStringLiteral("Informe o nome dos filtros salvos em --preset."));
        return BatchBadInput;
    }
    try {
        ModuleLoader loader(host::ModulesFolder());
        const QString module = modules.value(0, QLatin1String(kBatchModule));
        const QJsonObject filters = BatchFilters::read(parser.value(QLatin1String(kFiltersOption)), parser.values(QLatin1String(kFilterOption)),
                                                       BatchFilters::keysOf(loader, module));
        host::ClientConfig config = readConfig(parser);
        bool cancelled = false;
        const std::optional<SignedIn> session = signInOperator(config, parser, false, &cancelled);
        const SignOutAtEnd signOutAtEnd(config, session);
        requireBranch(config);
        LoggedIn login(config);
        host::HostServices services(ui, login.session, login.database);
        const QByteArray filtersJson = QJsonDocument(filters).toJson(QJsonDocument::Compact);
        const QByteArray savedFilter = parser.value(QLatin1String(kSavedFilterOption)).toUtf8();
        int result = BatchBadInput;
        if (parser.isSet(QLatin1String(kSavedFilterOption))) {
            using SavedFilterBatchFunction = int (*)(const char *, const char *, const char *);
            const auto run = reinterpret_cast<SavedFilterBatchFunction>(loader.resolve(module, "ExecutaLoteFiltroSalvo"));
            stopBatchOnSignals();
            result = run(savedFilter.constData(), filtersJson.constData(), command.toUtf8().constData());
        } else {
            using BatchFunction = int (*)(const char *, const char *);
            const auto run = reinterpret_cast<BatchFunction>(loader.resolve(module, "ExecutaLote"));
            stopBatchOnSignals();
            result = run(filtersJson.constData(), command.toUtf8().constData());
        }
        if (result != BatchDone && host::stopRequested()) {
            ui.showError(QStringLiteral("Execução interrompida por sinal; o que foi preparado no servidor foi apagado."));
            return BatchStopped;
        }
        return result;
    } catch (const HostError &error) {
        ui.showError(error.text());
        return BatchBadInput;
    }
}

// The batch's filter keys as the batch module reads them, and where its help page is, for --help.
static QString batchKeysHelp()
{
    const QString page = QStringLiteral("\nMais sobre o modo lote, em português: %1\n")
                             .arg(QDir::toNativeSeparators(QDir(host::HelpFolder()).filePath(QStringLiteral("modo-lote.html"))));
    ModuleLoader loader(host::ModulesFolder());
    try {
        return BatchFilters::helpText(BatchFilters::keysOf(loader, QLatin1String(kBatchModule))) + page;
    } catch (const HostError &error) {
        return QStringLiteral("As chaves dos filtros do modo lote não puderam ser lidas: %1\n").arg(error.text()) + page;
    }
}

// The client's own options, besides help, version and the connection's (host::ClientConfig).
static void addClientOptions(QCommandLineParser &parser)
{
    host::ClientConfig::addOptions(parser);
    parser.addOption({QLatin1String(kConfigOption),
                      QStringLiteral("Arquivo de configuração (INI). Padrão: %1, se existir.").arg(defaultConfigPath()),
                      QStringLiteral("arquivo")});
    parser.addOption({QLatin1String(kOpenOption),
                      QStringLiteral("Módulo a abrir ao iniciar, por exemplo PKG_ZUB01100 (pode repetir)."),
                      QStringLiteral("modulo")});
    parser.addOption({QLatin1String(kBatchOption),
                      QStringLiteral("Modo lote, sem janela: imprimir (PDF), salvar (PDF, ou CSV/Excel se o arquivo terminar em .csv/.xlsx) "
                                     "ou texto. Sai com 0 (concluído), 1 (filtro recusado ou relatório com falha) ou 2 "
                                     "(opções, filtros ou início inválidos)."),
                      QStringLiteral("comando")});
    parser.addOption({QLatin1String(kCredentialsOption),
                      QStringLiteral("Arquivo com as linhas operador=CÓDIGO e senha=SENHA, legível só pelo dono, para entrar sem "
                                     "perguntar (também ZUB_OPERADOR e ZUB_SENHA)."),
                      QStringLiteral("arquivo")});
    parser.addOption({QLatin1String(kOutputOption), QStringLiteral("Modo lote: arquivo a gerar."), QStringLiteral("arquivo")});
    parser.addOption({QLatin1String(kFiltersOption),
                      QStringLiteral("Modo lote: arquivo JSON com os filtros da tela (chaves abaixo)."), QStringLiteral("arquivo")});
    parser.addOption({QLatin1String(kFilterOption),
                      QStringLiteral("Modo lote: um filtro, sobre os do arquivo (pode repetir), por exemplo "
                                     "dataInicial=01/03/2025 ou filiais=0101,0103."),
                      QStringLiteral("chave=valor")});
    parser.addOption({QLatin1String(kSavedFilterOption),
                      QStringLiteral("Modo lote: parte dos filtros salvos do operador com este nome (os seus, senão os "
                                     "compartilhados com a central); --filters e --filter valem por cima deles."),
                      QStringLiteral("nome")});
}

int RunClient(QApplication &app)
{
    QCoreApplication::setApplicationName(QStringLiteral("zub"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZUB_VERSION));
    auto *translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Cliente do Planejamento de Alimentação Escolar."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    addClientOptions(parser);
    if (!parser.parse(QCoreApplication::arguments())) {
        tell(parser.errorText() + QStringLiteral("\nUse --help para ver as opções."), false);
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText() + QLatin1Char('\n') + batchKeysHelp()), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("zub-client %s\n", qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    }

    if (parser.isSet(QLatin1String(kBatchOption)))
        return RunBatch(parser);

    try {
        host::ClientConfig config = readConfig(parser);
        bool cancelled = false;
        const std::optional<SignedIn> signedIn = signInOperator(config, parser, personAtScreen(), &cancelled);
        if (cancelled)
            return 0;
        const SignOutAtEnd signOutAtEnd(config, signedIn);
        requireBranch(config);
        LoggedIn login(config);
        host::TdtmDBGeral &database = login.database;
        host::HostSession &session = login.session;
        host::QtUserInteraction ui;
        ModuleLoader modules(host::ModulesFolder());
        // The services outlive the window, so forms freed with it still reach them. They give the
        // calls to the server their token, so they come before the first one.
        host::HostServices services(ui, session, database);
        const QString branchName = session.nomeFiliProc();
        MainWindow window(ReportMenuEntries(), [&modules](const QString &module) { modules.open(module); });
        services.setMainWindow(&window);
        window.setLoggedIn(session.filiProc(), branchName.isEmpty() ? QStringLiteral("(não cadastrada)") : branchName,
                           config.operatorName.isEmpty() ? session.operador()
                                                         : QStringLiteral("%1 - %2").arg(session.operador(), config.operatorName));
        // The whole screen, as office users keep it: the screens open at their places inside it.
        if (const QScreen *screen = window.screen())
            window.resize(screen->availableGeometry().size());
        window.showMaximized();
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
