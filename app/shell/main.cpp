#include "shell/Kalvor.h"

#include <QApplication>

#include <csignal>

int main(int argc, char** argv) {
    // Beyond the file-size limit (ulimit -f) a save then fails with a message, and the
    // temporary file goes, instead of the program being killed with every open document.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication application(argc, argv);
    CKalvorApp app;
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    if (!app.InitInstance(arguments))
        return 1;
    return QApplication::exec();
}
