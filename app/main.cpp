#include "app/application.h"
#include "app/startup_dialogs.h"
#include "recorder/main_form.h"

int main(int argc, char* argv[]) {
    app::TApplication application(argc, argv);

    // Created first, the main window is the one whose closing ends the program.
    recorder::TMainForm mainForm;
    app::TComPortOptions comPortOptions(&mainForm);
    app::TfrmDeviceSelection deviceSelection(&mainForm);

    mainForm.show();
    return application.exec();
}
