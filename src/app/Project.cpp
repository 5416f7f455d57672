#include "MainUnit.h"
#include "TApplication.h"

#include <exception>

int main(int argc, char** argv) {
    TApplication application(argc, argv);
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
