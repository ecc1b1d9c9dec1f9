#include "client/moduleloader.h"

#include "host/data/errors.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QRegularExpression>

namespace client {

using host::HostError;

ModuleLoader::ModuleLoader(const QString &folder) : m_folder(folder)
{
}

ModuleLoader::~ModuleLoader() = default;

QString ModuleLoader::fileFor(const QString &module) const
{
    return QDir(m_folder).filePath(QStringLiteral("lib%1.so").arg(module));
}

QLibrary &ModuleLoader::load(const QString &module)
{
    if (const auto it = m_loaded.constFind(module); it != m_loaded.constEnd())
        return **it;
    // A name is a file name part, never a path: "--open ../x" must not load from elsewhere.
    static const QRegularExpression validName(QStringLiteral("^[A-Za-z0-9_]+$"));
    if (!validName.match(module).hasMatch())
        throw HostError(QStringLiteral("Nome de módulo inválido: \"%1\" (use apenas letras, dígitos e \"_\").").arg(module));
    const QString file = fileFor(module);
    const QString shown = QDir::toNativeSeparators(file);
    if (!QFileInfo::exists(file))
        throw HostError(QStringLiteral("Não foi possível carregar o módulo %1: o arquivo %2 não existe.").arg(module, shown));
    auto library = std::make_shared<QLibrary>(file);
    if (!library->load())
        throw HostError(QStringLiteral("Não foi possível carregar o módulo %1 (arquivo %2). Motivo: %3")
                            .arg(module, shown, library->errorString()));
    m_loaded.insert(module, library);
    return *library;
}

QFunctionPointer ModuleLoader::resolve(const QString &module, const char *symbol)
{
    QLibrary &library = load(module);
    const QFunctionPointer function = library.resolve(symbol);
    if (!function)
        throw HostError(QStringLiteral("O módulo %1 (arquivo %2) não exporta o procedimento %3.")
                            .arg(module, QDir::toNativeSeparators(library.fileName()), QString::fromLatin1(symbol)));
    return function;
}

void ModuleLoader::open(const QString &module)
{
    using IniProcFunction = void (*)();
    reinterpret_cast<IniProcFunction>(resolve(module, "IniProc"))();
}

} // namespace client
