#include "MainWindow.h"
#include "Startup.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    prepareApplication(app);
    int rc = 0;
    {
        MainWindow window;
        window.show();
        rc = app.exec();
    }
    finishApplication();
    return rc;
}
