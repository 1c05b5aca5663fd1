// The titles of the program's windows and boxes as the window system receives them: read back from
// the X server (the test runs on a virtual one), since Qt may add to a title on its way there.

#include "app/application.h"
#include "app/startup_dialogs.h"
#include "port_dialogs/com_select_form.h"
#include "recorder/main_form.h"
#include "recorder/message_box.h"
#include "support/recording_support.h"

#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>

namespace {

// A connection of our own to the X server the application draws on.
class TXServer {
public:
    TXServer() : connection_(xcb_connect(nullptr, nullptr)) {}
    ~TXServer() { xcb_disconnect(connection_); }
    TXServer(const TXServer&) = delete;
    TXServer& operator=(const TXServer&) = delete;

    bool Connected() const { return xcb_connection_has_error(connection_) == 0; }

    // The title the desktop shows for the window.
    QString Title(WId window) const {
        return QString::fromUtf8(Property(window, "_NET_WM_NAME", Atom("UTF8_STRING")));
    }

    // The class part of WM_CLASS ("instance\0class\0"), by which the desktop finds the
    // application's entry.
    QByteArray WindowClass(WId window) const {
        const QList<QByteArray> parts = Property(window, "WM_CLASS", XCB_ATOM_STRING).split('\0');
        return parts.size() > 1 ? parts[1] : QByteArray();
    }

private:
    xcb_atom_t Atom(const char* name) const {
        const xcb_intern_atom_cookie_t cookie =
            xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
            xcb_intern_atom_reply(connection_, cookie, nullptr), &std::free);
        return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }

    QByteArray Property(WId window, const char* name, xcb_atom_t type) const {
        const xcb_get_property_cookie_t cookie = xcb_get_property(
            connection_, 0, static_cast<xcb_window_t>(window), Atom(name), type, 0, 1024);
        std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
            xcb_get_property_reply(connection_, cookie, nullptr), &std::free);
        if (!reply)
            return {};
        return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                          xcb_get_property_value_length(reply.get()));
    }

    xcb_connection_t* connection_;
};

// A receiver whose handler fails the way a component does: with an exception.
class TFailingReceiver : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User)
            throw std::runtime_error("Порт COM1 занят другой программой");
        return QObject::event(e);
    }
};

// The value of `key` in the desktop entry.
QString DesktopEntryValue(const QString& key) {
    QFile file(QStringLiteral(TALVIR_DESKTOP_ENTRY));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QString prefix = key + u'=';
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size());
    }
    return {};
}

} // namespace

class WindowTitlesTest : public recording_test::TWindowTest {
    Q_OBJECT

private:
    TXServer X;

    // The window's title on the server, once it has got there (or what is there after 2 s).
    QString TitleOnServer(QWidget* window, const QString& expected) const {
        const WId id = window->winId();
        (void)QTest::qWaitFor([&] { return X.Title(id) == expected; }, 2000);
        return X.Title(id);
    }

    // The title of the modal box that opens while `open` runs; the box is then closed.
    QString ModalBoxTitle(const std::function<void()>& open, const QString& expected) {
        QString title;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            title = TitleOnServer(box, expected);
            box->done(0);
        });
        open();
        return title;
    }

private slots:
    void initTestCase() {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        QVERIFY(X.Connected());
    }
    void init() { NewSettingsFolder(); }
    void cleanup() { Form.reset(); }

    void mainWindowAndHiddenDialogsCarryTheirOwnTitles() {
        CreateWindow();
        app::TComPortOptions comPortOptions(Form.get());
        app::TfrmDeviceSelection deviceSelection(Form.get());
        ShowWindow();
        const QString caption = QStringLiteral("Регистратор двоичного сигнала");
        QCOMPARE(TitleOnServer(Form.get(), caption), caption);
        QCOMPARE(TitleOnServer(&comPortOptions, QStringLiteral("Com Port Options")),
                 QStringLiteral("Com Port Options"));
        QCOMPARE(TitleOnServer(&deviceSelection, QStringLiteral("Device Selection")),
                 QStringLiteral("Device Selection"));
    }

    void portPromptCarriesItsOwnTitle() {
        port_dialogs::TComSelectForm prompt({1, 3});
        prompt.show();
        QCOMPARE(TitleOnServer(&prompt, QStringLiteral("Select Port")),
                 QStringLiteral("Select Port"));
    }

    void recordersMessageBoxIsTitledError() {
        ShowNewWindow();
        const QString title = ModalBoxTitle(
            [&] { recorder::ShowErrorBox(Form.get(), QStringLiteral("Прибор не готов к работе")); },
            QStringLiteral("Error"));
        QCOMPARE(title, QStringLiteral("Error"));
    }

    void errorReportIsTitledWithTheApplicationTitle() {
        const QString expected = QString::fromUtf16(app::ApplicationTitle);
        const QString title = ModalBoxTitle(
            [] {
                TFailingReceiver receiver;
                QEvent event(QEvent::User);
                QCoreApplication::sendEvent(&receiver, &event);
            },
            expected);
        QCOMPARE(title, QStringLiteral("Тальвир 1.0"));
    }

    // The desktop names the application after the entry whose class its windows carry.
    void desktopEntryNamesTheWindowsApplication() {
        ShowNewWindow();
        QCOMPARE(QString::fromLatin1(X.WindowClass(Form->winId())),
                 DesktopEntryValue(QStringLiteral("StartupWMClass")));
        QCOMPARE(QGuiApplication::desktopFileName() + QStringLiteral(".desktop"),
                 QFileInfo(QStringLiteral(TALVIR_DESKTOP_ENTRY)).fileName());
        QCOMPARE(DesktopEntryValue(QStringLiteral("Name")), QStringLiteral("Тальвир"));
    }
};

int main(int argc, char* argv[]) {
    app::TApplication application(argc, argv);
    WindowTitlesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_titles_test.moc"
