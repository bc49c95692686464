#include "MainWindow.h"
#include "Startup.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    prepareApplication(app);
    MainWindow window;
    window.show();
    return app.exec();
}
