#include "settings/form_placement.h"

#include "settings/error_report.h"
#include "settings/ini_file.h"
#include "settings/placement_record.h"
#include "settings/value_text.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>

#include <cxxabi.h>
#include <memory>
#include <optional>
#include <stdexcept>
#include <typeinfo>

namespace settings {

namespace {

constexpr Qt::WindowStates SizeStates =
    Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;

// The window's contents in its normal state, as NormPos holds them.
TPlacementRect NormalRect(const QWidget* w) {
    QRect normal = w->normalGeometry();
    if (!normal.isValid())
        normal = w->geometry();
    return {normal.left(), normal.top(), normal.left() + normal.width(),
            normal.top() + normal.height()};
}

struct TScreen {
    QSize Size;
    int PixelsPerInch = 0;
};

TScreen PrimaryScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    return {screen->size(), qRound(screen->logicalDotsPerInchY())};
}

// The frame around the window's contents. A window manager frames a window only once it is
// mapped, so before that a frame as the style would draw it is assumed: a title bar above and a
// border around.
QMargins Frame(const QWidget& w) {
    const QRect contents = w.geometry();
    const QRect outer = w.frameGeometry();
    const QMargins frame(contents.left() - outer.left(), contents.top() - outer.top(),
                         outer.right() - contents.right(), outer.bottom() - contents.bottom());
    if (!frame.isNull())
        return frame;
    const int border = w.style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, &w);
    const int title = w.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &w);
    return {border, border + title, border, border};
}

// The class name without its namespaces, as the default section.
QString ClassName(const QObject& object) {
    const char* mangled = typeid(object).name();
    int status = 0;
    const std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
    const QString name = QString::fromLatin1(status == 0 ? demangled.get() : mangled);
    return name.section(QStringLiteral("::"), -1);
}

template <class F> void Reported(F&& action) {
    try {
        action();
    } catch (...) {
        ReportError(std::current_exception());
    }
}

[[noreturn]] void Fail(const QString& message) {
    throw std::runtime_error(message.toStdString());
}

} // namespace

// A placement from another screen, from a desktop at another scale or edited by hand would
// otherwise open a window that can't be seen or grabbed, and a huge one that the platform can't
// even paint; a window that grows would reach past the screen's edge.
QRect FitOnScreen(const QWidget& window, QRect contents) {
    const QScreen* on = QGuiApplication::screenAt(contents.center());
    if (!on)
        on = window.screen();
    if (!on)
        return contents;
    return FitInto(contents, on->availableGeometry().marginsRemoved(Frame(window)),
                   window.minimumSize());
}

TFormPlacement::TFormPlacement(QWidget* owner) : QObject(owner) {}

QWidget* TFormPlacement::Owner() const {
    return static_cast<QWidget*>(parent());
}

QString TFormPlacement::IniPath() const {
    QString name = IniFileName_;
    if (name.isEmpty())
        name = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() +
               QStringLiteral(".INI");
    if (QFileInfo(name).isAbsolute())
        return name;
    return SettingsFolder() + QLatin1Char('/') + name;
}

QString TFormPlacement::Section() const {
    return IniSection_.isEmpty() ? OwnerClass_ : IniSection_;
}

std::string TFormPlacement::SectionKey() const {
    return Section().toStdString();
}

void TFormPlacement::Loaded() {
    OwnerClass_ = ClassName(*Owner());
    Owner()->installEventFilter(this);
    connect(Owner(), &QObject::destroyed, this, [this] { OwnerDestroyed(); });
}

// Qt has one close event where the original had a query and a close; the save comes before the
// window's own close handler, which for the recorder stops a running recording.
bool TFormPlacement::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Owner() && Active_) {
        if (event->type() == QEvent::Show && !event->spontaneous())
            Reported([this] { RestoreFormPlacement(); });
        else if (event->type() == QEvent::Close && Owner()->internalWinId()) {
            Reported([this] { SaveFormPlacement(); });
            // A save that failed here has been reported; the window's destruction doesn't try
            // again with a second report of the same failure.
            Saved_ = true;
        }
    }
    return QObject::eventFilter(watched, event);
}

// Emitted by the window's destructor while its child widgets still exist.
void TFormPlacement::OwnerDestroyed() {
    if (!Active_ || Saved_)
        return;
    Destroying_ = true;
    Reported([this] { SaveFormPlacement(); });
    Destroying_ = false;
}

void TFormPlacement::SaveFormPlacement() {
    if (Active_ && !Restored_)
        return;
    const QString path = IniPath();
    TIniRead read = ReadIniFile(path);
    if (!read.Error.isEmpty())
        Fail(QStringLiteral("Unable to read %1: %2").arg(path, read.Error));
    TIniText& ini = read.Text;
    Write(ini, "FormVersion", IntegerText(Version_));
    SavePlacement(ini);
    SaveStoredValues(ini);
    if (!WriteIniFile(path, ini).isEmpty())
        Fail(QStringLiteral("Unable to write to %1").arg(path));
    Saved_ = true;
}

void TFormPlacement::SavePlacement(TIniText& ini) {
    const QWidget* w = Owner();
    const TScreen screen = PrimaryScreen();
    const std::string minMax = RectText({-1, -1, -1, -1});
    const std::string normal = RectText(NormalRect(w));
    const std::pair<std::string, std::string> keys[] = {
        {"Flags", IntegerText(FlagsOf(w->windowState()))},
        {"ShowCmd", IntegerText(ShowCmdOf(w->windowState()))},
        {"PixelsPerInch", IntegerText(screen.PixelsPerInch)},
        {ScreenKey("MinMaxPos", screen.Size), minMax},
        {"MinMaxPos", minMax},
        {ScreenKey("NormPos", screen.Size), normal},
        {"NormPos", normal},
        {"Visible", Destroying_ ? "1" : "0"},
    };
    for (const auto& [key, value] : keys)
        Write(ini, key, value);
}

void TFormPlacement::Write(TIniText& ini, const std::string& key, const std::string& value) const {
    if (!ini.WriteString(SectionKey(), key, value))
        Fail(QStringLiteral("Unable to write to %1").arg(IniPath()));
}

void TFormPlacement::SaveStoredValues(TIniText&) {}

void TFormPlacement::RestoreFormPlacement() {
    Saved_ = false;
    const QString path = IniPath();
    const TIniRead read = ReadIniFile(path);
    if (!read.Error.isEmpty())
        Fail(QStringLiteral("Unable to read %1: %2").arg(path, read.Error));
    const TIniText& ini = read.Text;
    if (TextToInteger(ini.ReadString(SectionKey(), "FormVersion", "0")) >= Version_) {
        RestorePlacement(ini);
        // A value the window refuses keeps the window's own; nobody is told.
        try {
            RestoreStoredValues(ini);
        } catch (...) {
        }
    }
    Restored_ = true;
    if (!ini.Problems().empty()) {
        QString lines;
        for (const TIniProblem& problem : ini.Problems())
            lines += QStringLiteral("\nline %1: %2")
                         .arg(problem.Line)
                         .arg(QString::fromStdString(problem.What));
        Fail(QStringLiteral("%1 has lines that are not settings; they are kept as they are:%2")
                 .arg(path, lines));
    }
}

void TFormPlacement::RestorePlacement(const TIniText& ini) {
    QWidget* w = Owner();
    const TScreen screen = PrimaryScreen();
    const std::string section = SectionKey();
    const auto read = [&](const std::string& key, const std::string& fallback) {
        return ini.ReadString(section, key, fallback);
    };
    // The key for this screen size, else the plain one.
    const auto positions = [&](const char* key) {
        const std::string sized = read(ScreenKey(key, screen.Size), "");
        return sized.empty() ? read(key, "") : sized;
    };

    const Qt::WindowStates current = w->windowState();
    const int flags = TextToInteger(read("Flags", IntegerText(FlagsOf(current))));
    const std::string minMax = positions("MinMaxPos");
    const std::string normal = positions("NormPos");
    const int pixelsPerInch =
        TextToInteger(read("PixelsPerInch", IntegerText(screen.PixelsPerInch)));
    if ((!minMax.empty() || !normal.empty()) && pixelsPerInch == screen.PixelsPerInch) {
        const std::optional<QSize> fixedSize =
            w->minimumSize() == w->maximumSize() ? std::optional(w->size()) : std::nullopt;
        if (const std::optional<QRect> contents =
                RestoredContents(ParseRect(normal, NormalRect(w)), fixedSize))
            w->setGeometry(*contents);
    }
    // Also where nothing was stored: the window's own first place may not fit a small or scaled
    // screen either.
    if (!(current & SizeStates))
        w->setGeometry(FitOnScreen(*w, w->geometry()));

    const int showCmd = TextToInteger(read("ShowCmd", "0"));
    w->setWindowState((current & ~SizeStates) | StateOf(showCmd, flags));
    w->update();
}

void TFormPlacement::RestoreStoredValues(const TIniText&) {}

} // namespace settings
