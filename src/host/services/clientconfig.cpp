#include "host/services/clientconfig.h"

#include "host/data/errors.h"
#include "wire/rpcmessage.h"
#include "wire/secretfile.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace host {

ClientConfig::ClientConfig()
    : serverHost(QStringLiteral("127.0.0.1")), serverPort(wire::kDefaultServerPort),
      productPicture(QStringLiteral("99.99.999"))
{
}

// "host:porta,host:porta": the first is the server of WebURL/WebPort, the others are tried in
// order when it does not answer.
static void readServerList(const QVariant &setting, const QString &path, ClientConfig &config)
{
    // QSettings reads an unquoted value with commas as a list.
    QStringList entries = setting.toStringList();
    if (entries.size() == 1)
        entries = entries.first().split(QLatin1Char(','));
    QStringList addresses;
    for (const QString &entry : std::as_const(entries)) {
        const QString address = entry.trimmed();
        if (address.isEmpty())
            continue;
        const int colon = address.lastIndexOf(QLatin1Char(':'));
        bool ok = false;
        const int port = address.mid(colon + 1).toInt(&ok);
        if (colon <= 0 || !ok || port <= 0 || port > 65535)
            throw HostError(QStringLiteral("Endereço de servidor inválido em [servidor] enderecos de %1: \"%2\" (use host:porta, "
                                           "separados por vírgula).").arg(path, address));
        addresses.append(address);
    }
    if (addresses.isEmpty())
        return;
    const QString first = addresses.takeFirst();
    const int colon = first.lastIndexOf(QLatin1Char(':'));
    config.serverHost = first.left(colon);
    config.serverPort = first.mid(colon + 1).toInt();
    config.transport.otherAddresses = addresses;
}

static int secondsSetting(const QSettings &ini, const QString &key, int defaultMs, const QString &path)
{
    const QVariant value = ini.value(QStringLiteral("servidor/") + key);
    if (!value.isValid())
        return defaultMs;
    bool ok = false;
    const double seconds = value.toString().toDouble(&ok);
    if (!ok || seconds <= 0 || seconds > 24 * 3600)
        throw HostError(QStringLiteral("Valor inválido em [servidor] %1 de %2: \"%3\" (use segundos, por exemplo 30).")
                            .arg(key, path, value.toString()));
    return int(seconds * 1000);
}

ClientConfig ClientConfig::fromFile(const QString &path)
{
    if (!QFileInfo(path).isReadable())
        throw HostError(QStringLiteral("Arquivo de configuração não encontrado ou sem permissão de leitura: %1").arg(path));
    QSettings ini(path, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError)
        throw HostError(QStringLiteral("Arquivo de configuração inválido: %1").arg(path));
    const QString baseDir = QFileInfo(path).absolutePath();
    auto pathSetting = [&](const QString &key) {
        const QString value = ini.value(key).toString();
        return value.isEmpty() || QFileInfo(value).isAbsolute() ? value : baseDir + QLatin1Char('/') + value;
    };

    ClientConfig config;
    config.branch = ini.value(QStringLiteral("sessao/filial")).toString();
    config.operatorCode = ini.value(QStringLiteral("sessao/operador")).toString();
    config.branchMode = ini.value(QStringLiteral("sessao/modo_filial"), false).toBool();
    config.serverHost = ini.value(QStringLiteral("servidor/host"), config.serverHost).toString();
    config.serverPort = ini.value(QStringLiteral("servidor/porta"), config.serverPort).toInt();
    readServerList(ini.value(QStringLiteral("servidor/enderecos")), path, config);
    config.transport.tls = ini.value(QStringLiteral("servidor/tls"), false).toBool();
    config.transport.caFile = pathSetting(QStringLiteral("servidor/ca"));
    config.transport.connectTimeoutMs = secondsSetting(ini, QStringLiteral("tempo_conexao"), config.transport.connectTimeoutMs, path);
    config.transport.callTimeoutMs = secondsSetting(ini, QStringLiteral("tempo_chamada"), config.transport.callTimeoutMs, path);
    config.token = ini.value(QStringLiteral("servidor/token")).toString();
    if (!config.token.isEmpty() && (QFile::permissions(path) & (QFileDevice::ReadGroup | QFileDevice::ReadOther)))
        throw HostError(QStringLiteral("O arquivo de configuração %1 guarda a credencial do servidor (token) e pode ser lido por outros "
                                       "usuários; restrinja-o ao dono com: chmod 600 %1").arg(path));
    config.tokenFile = pathSetting(QStringLiteral("servidor/arquivo_token"));
    config.obsoleteDatabase = ini.childGroups().contains(QStringLiteral("banco"));
    config.productPicture = ini.value(QStringLiteral("mascaras/produto"), config.productPicture).toString();
    config.reportsDir = pathSetting(QStringLiteral("relatorios/pasta"));
    return config;
}

void ClientConfig::addOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {QStringLiteral("branch"), QStringLiteral("Filial do usuário logado (código)."), QStringLiteral("codigo")},
        {QStringLiteral("operator"), QStringLiteral("Código do operador logado."), QStringLiteral("codigo")},
        {QStringLiteral("branch-mode"), QStringLiteral("Modo filial: o relatório fica restrito à filial logada.")},
        {QStringLiteral("server-host"), QStringLiteral("Endereço do servidor de aplicação."), QStringLiteral("host")},
        {QStringLiteral("server-port"), QStringLiteral("Porta do servidor de aplicação."), QStringLiteral("porta")},
        {QStringLiteral("token-file"), QStringLiteral("Arquivo com a credencial (token) do servidor de aplicação."), QStringLiteral("arquivo")},
        {QStringLiteral("product-picture"), QStringLiteral("Máscara do código de produto, por exemplo 99.99.999."), QStringLiteral("mascara")},
        {QStringLiteral("reports-dir"), QStringLiteral("Pasta com os layouts de relatório (uma subpasta por código)."), QStringLiteral("pasta")},
    });
    // Accepted from older scripts, and told to be of no use: the data comes from the server.
    QCommandLineOption database(QStringLiteral("database"), QString(), QStringLiteral("endereco"));
    database.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(database);
}

void ClientConfig::applyOptions(const QCommandLineParser &parser)
{
    auto take = [&parser](const QString &name, QString &target) {
        if (parser.isSet(name))
            target = parser.value(name);
    };
    take(QStringLiteral("branch"), branch);
    take(QStringLiteral("operator"), operatorCode);
    if (parser.isSet(QStringLiteral("branch-mode")))
        branchMode = true;
    take(QStringLiteral("server-host"), serverHost);
    if (parser.isSet(QStringLiteral("server-port"))) {
        bool ok = false;
        const int port = parser.value(QStringLiteral("server-port")).toInt(&ok);
        if (!ok || port <= 0 || port > 65535)
            throw HostError(QStringLiteral("Porta inválida: %1").arg(parser.value(QStringLiteral("server-port"))));
        serverPort = port;
    }
    if (parser.isSet(QStringLiteral("token-file"))) {
        tokenFile = parser.value(QStringLiteral("token-file"));
        token.clear();
    }
    if (parser.isSet(QStringLiteral("database")))
        obsoleteDatabase = true;
    take(QStringLiteral("product-picture"), productPicture);
    take(QStringLiteral("reports-dir"), reportsDir);
}

QString ClientConfig::resolvedToken() const
{
    if (!token.isEmpty() || tokenFile.isEmpty())
        return token;
    // A token others may read is anyone's: refused, as ssh refuses such a key.
    QString why;
    const std::optional<QByteArray> read = wire::readOwnerOnlyFile(tokenFile, QStringLiteral("arquivo da credencial do servidor"), 4096, &why);
    if (!read)
        throw HostError(why);
    return QString::fromUtf8(*read).trimmed();
}

} // namespace host
