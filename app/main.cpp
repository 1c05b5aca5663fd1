#include "app/application.h"
#include "app/startup_dialogs.h"
#include "recorder/main_form.h"

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

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

// The window takes no options: these two answer on standard output without opening it, and
// anything else is a mistake. The exit status when the program ends here.
std::optional<int> Answered(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::printf("talvir %s\n", TALVIR_VERSION);
            return 0;
        }
        if (arg == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        }
    }
    if (argc < 2)
        return std::nullopt;
    std::fprintf(stderr, "talvir: %s '%s'\nTry 'talvir --help'.\n",
                 argv[1][0] == '-' ? "unknown option" : "unexpected argument", argv[1]);
    return 2;
}

// Qt's messages while the application connects to the display, kept back: a display that cannot
// be reached ends the program with one line of its own instead of Qt's lines and an abort; once
// connected, the messages go on to the handler before.
class TDisplayConnection {
public:
    TDisplayConnection() : previous_(qInstallMessageHandler(Keep)) {}
    ~TDisplayConnection() {
        qInstallMessageHandler(previous_);
        for (const TMessage& message : kept_)
            previous_(message.Type, QMessageLogContext(nullptr, 0, nullptr, message.Category),
                      message.Text);
    }
    TDisplayConnection(const TDisplayConnection&) = delete;
    TDisplayConnection& operator=(const TDisplayConnection&) = delete;

private:
    struct TMessage {
        QtMsgType Type;
        const char* Category; // a category's name lives as long as the program
        QString Text;
    };

    static void Keep(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type != QtFatalMsg) {
            kept_.push_back({type, context.category, text});
            return;
        }
        // Qt's first complaint names the reason, unless there is no display to name at all.
        const bool noDisplay = qEnvironmentVariableIsEmpty("DISPLAY") &&
                               qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
        const QString reason = noDisplay       ? QStringLiteral("no display (DISPLAY is not set)")
                               : kept_.empty() ? text.section(QLatin1Char('\n'), 0, 0)
                                               : kept_.front().Text.simplified();
        std::fprintf(stderr, "talvir: cannot open the window: %s\n", qUtf8Printable(reason));
        std::fflush(stderr);
        std::_Exit(1);
    }

    static inline std::vector<TMessage> kept_;
    QtMessageHandler previous_;
};

} // namespace

int main(int argc, char* argv[]) {
    if (const std::optional<int> status = Answered(argc, argv))
        return *status;
    std::optional<TDisplayConnection> connecting(std::in_place);
    app::TApplication application(argc, argv);
    connecting.reset();

    // Created first, the main window is the one whose closing ends the program.
    recorder::TMainForm mainForm;
    app::TComPortOptions comPortOptions(&mainForm);
    app::TfrmDeviceSelection deviceSelection(&mainForm);

    mainForm.show();
    return application.exec();
}
