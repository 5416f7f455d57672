#include "MainUnit.h"
#include "TApplication.h"

#include <exception>

int main(int argc, char** argv) {
    TApplication application(argc, argv);
    // The desktop entry's name: a Wayland compositor finds the window's icon and name through it.
    TApplication::setDesktopFileName(QStringLiteral("org.morvel.Morvel"));
    try {
        TMainForm form;
        application.CloseOnStopSignals(&form);
        form.show();
        return TApplication::exec();
    } catch (const std::exception& error) {
        // The window could not be made: nothing to run.
        ShowErrorBox(QString::fromUtf8(error.what()));
        return 1;
    }
}
