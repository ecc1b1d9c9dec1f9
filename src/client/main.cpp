#include "client/clientapp.h"

#include <QApplication>
#include <cstring>

int main(int argc, char *argv[])
{
    // A batch run (a scheduled job, say) has no screen to open.
    for (int i = 1; i < argc; ++i) {
        if ((std::strcmp(argv[i], "--batch") == 0 || std::strncmp(argv[i], "--batch=", 8) == 0) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    return client::RunClient(app);
}
