#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle("Kalvor");
    window.resize(900, 650);
    window.show();
    return app.exec();
}
