#include "client/clientapp.h"

#include <QApplication>
#include <cstring>

int main(int argc, char *argv[])
{
    // A batch run (a scheduled job, say), the help and the version need no screen: they work
    // on a machine without a display too.
    static const char *const windowless[] = {"--batch", "--help", "-h", "--help-all", "--version", "-v"};
    for (int i = 1; i < argc; ++i) {
        for (const char *option : windowless) {
            const size_t length = std::strlen(option);
            const bool named = std::strncmp(argv[i], option, length) == 0 && (argv[i][length] == '\0' || argv[i][length] == '=');
            if (named && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
                qputenv("QT_QPA_PLATFORM", "offscreen");
        }
    }
    QApplication app(argc, argv);
    return client::RunClient(app);
}
