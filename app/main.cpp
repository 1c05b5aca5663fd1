#include "app/application.h"
#include "app/startup_dialogs.h"
#include "recorder/main_form.h"

#include <cstdio>
#include <string_view>

namespace {

constexpr char Usage[] =
    "Usage: talvir [--help | --version]\n"
    "\n"
    "Тальвир records a one-bit digital signal from a measuring device on a serial port and\n"
    "draws it against time. The program opens its window; everything else is chosen there.\n"
    "\n"
    "Settings: $XDG_CONFIG_HOME/talvir/talvir.INI (by default ~/.config/talvir/talvir.INI).\n"
    "Ports: COM1..COM50, mapped to devices in ports.ini beside it ([Ports] COM1=/dev/ttyUSB0);\n"
    "without an entry COMn is /dev/ttyS(n-1).\n"
    "\n"
    "  --help     this text\n"
    "  --version  the program's version\n";

// The window takes no options; these two answer on standard output without opening it.
bool Answered(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::printf("talvir %s\n", TALVIR_VERSION);
            return true;
        }
        if (arg == "--help") {
            std::fputs(Usage, stdout);
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    if (Answered(argc, argv))
        return 0;
    app::TApplication application(argc, argv);

    // Created first, the main window is the one whose closing ends the program.
    recorder::TMainForm mainForm;
    app::TComPortOptions comPortOptions(&mainForm);
    app::TfrmDeviceSelection deviceSelection(&mainForm);

    mainForm.show();
    return application.exec();
}
