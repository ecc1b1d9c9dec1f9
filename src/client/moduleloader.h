#pragma once

#include <QHash>
#include <QString>
#include <memory>

class QLibrary;

namespace client {

// Loads report modules by name (NAME -> lib<NAME>.so in the module folder) and runs their
// exported `extern "C" void IniProc()`. A loaded module stays loaded: its forms live on after
// IniProc returns.
class ModuleLoader
{
public:
    explicit ModuleLoader(const QString &folder);
    ~ModuleLoader();

    QString folder() const { return m_folder; }
    QString fileFor(const QString &module) const;

    // Loads the module if needed and calls its IniProc. Raises HostError with a Portuguese message
    // naming the module, its file and the reason; exceptions of IniProc pass on unchanged.
    void open(const QString &module);
    // Loads the module if needed and answers its exported `symbol`; raises HostError when the
    // module cannot be loaded or does not export it.
    QFunctionPointer resolve(const QString &module, const char *symbol);

private:
    QLibrary &load(const QString &module);
    QString m_folder;
    QHash<QString, std::shared_ptr<QLibrary>> m_loaded;
};

} // namespace client
