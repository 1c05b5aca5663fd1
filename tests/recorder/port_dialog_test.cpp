// The port settings command on the real window: the status line after it, and settings changed
// while talvir-devsim streams on a pseudo-terminal registered in a private settings folder.

#include "support/recording_support.h"

#include "port_dialogs/com_select_form.h"
#include "port_dialogs/port_options_form.h"
#include "serial/errors.h"
#include "serial/message_loop.h"
#include "support/simulator_process.h"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusTipEvent>
#include <QToolBar>
#include <QtTest>

#include <fstream>
#include <functional>
#include <memory>

using namespace recording_test;
using devsim_test::SimulatorProcess;
using port_dialogs::TComPortOptions;

class PortDialogTest : public TWindowTest {
    Q_OBJECT

private:
    std::unique_ptr<TWindowParts> Parts;
    std::vector<std::unique_ptr<SimulatorProcess>> Simulators;
    // Bytes handed to the data handler so far.
    std::uint64_t Consumed = 0;

    std::string LogPath(int com) const {
        return Folder()
            .filePath(QStringLiteral("%1-COM%2.log")
                          .arg(QString::fromLatin1(QTest::currentTestFunction()))
                          .arg(com))
            .toStdString();
    }

    void StartSimulator(int com) {
        Simulators.push_back(std::make_unique<SimulatorProcess>(
            std::vector<std::string>{"--com", std::to_string(com), "--log", LogPath(com)}));
    }

    // Opens the port settings from the tool bar; `operate` acts on the dialog once it is shown,
    // then OK or Cancel ends it.
    void PortSettings(const std::function<void(port_dialogs::TComPortOptions&)>& operate,
                      bool confirm) {
        QTimer driver;
        connect(&driver, &QTimer::timeout, [&] {
            auto* dialog =
                dynamic_cast<port_dialogs::TComPortOptions*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            driver.stop();
            operate(*dialog);
            (confirm ? dialog->OK : dialog->Cancel)->click();
        });
        driver.start(10);
        Form->findChild<QAction*>(QStringLiteral("actPortSet"))->trigger();
        QVERIFY(!driver.isActive());
    }

    static void ChoosePort(port_dialogs::TComPortOptions& dialog, const QString& entry) {
        const int index = dialog.PortComboBox->findText(entry);
        QVERIFY(index >= 0);
        dialog.PortComboBox->setCurrentIndex(index);
        emit dialog.PortComboBox->activated(index);
    }

    QString Summary() const {
        return Form->findChild<QLabel*>(QStringLiteral("StatusPanel0"))->text();
    }
    // The free part of the status line, right of the panels.
    QString FreeText() const {
        return Form->findChild<QLabel*>(QStringLiteral("HintText"))->text();
    }
    void ShowStatusTip(const QString& tip) {
        QStatusTipEvent event(tip);
        QApplication::sendEvent(Form.get(), &event);
    }

    void StartRecording() {
        ClickSwitch(Parts->Switch);
        QCOMPARE(Parts->StartLabel->text(), QStringLiteral("Стоп"));
        auto handler = Form->Port().OnTriggerAvail;
        QVERIFY(handler);
        Form->Port().OnTriggerAvail = [this, handler](serial::TSerialPort* cp,
                                                      std::uint16_t count) {
            handler(cp, count);
            Consumed += count;
        };
        QVERIFY(QTest::qWaitFor([&] { return Consumed > 100; }, 2000));
    }

    void VerifyStopped() {
        QCOMPARE(Parts->StartLabel->text(), QStringLiteral("Старт"));
        QVERIFY(!Parts->Switch->StateOn());
        QVERIFY(!Form->Port().Open());
        QVERIFY(Parts->SamplePeriod->isEnabled());
    }

    static std::string Received(const std::string& log, std::size_t count) {
        (void)QTest::qWaitFor([&] { return ReceivedBytes(log).size() >= count; }, 1000);
        return ReceivedBytes(log);
    }

private slots:
    void init() {
        NewSettingsFolder();
        Consumed = 0;
        ShowNewWindow();
        Parts = std::make_unique<TWindowParts>(*Form);
    }

    void cleanup() {
        Parts.reset();
        Form.reset();
        Simulators.clear();
    }

    // OK writes the new settings into the status line; Cancel writes it too, from the port as it
    // is, whatever the dialog showed.
    void statusLineAfterOkAndAfterCancel() {
        PortSettings(
            [](port_dialogs::TComPortOptions& dialog) {
                dialog.BaudItems->button(5)->click();
                dialog.ParityItems->button(2)->click();
                dialog.DatabitsItems->button(1)->click();
                dialog.StopbitsItems->button(1)->click();
            },
            true);
        QCOMPARE(Summary(), QStringLiteral("COM1 7E2 9600"));
        Form->Port().SetBaud(300);
        PortSettings(
            [](port_dialogs::TComPortOptions& dialog) { dialog.BaudItems->button(9)->click(); },
            false);
        QCOMPARE(Summary(), QStringLiteral("COM1 7E2 300"));
    }

    // The new rate reaches the open port once its output has drained, and the device streams on.
    void rateChangeDuringARecordingKeepsItGoing() {
        StartSimulator(1);
        StartRecording();
        PortSettings(
            [](port_dialogs::TComPortOptions& dialog) { dialog.BaudItems->button(8)->click(); },
            true);
        QCOMPARE(Summary(), QStringLiteral("COM1 8N1 57600"));
        QVERIFY(Form->Port().Open());
        QVERIFY(QTest::qWaitFor(
            [&] {
                std::ifstream log(LogPath(1));
                return std::string(std::istreambuf_iterator<char>(log), {})
                           .find("line 57600 baud") != std::string::npos;
            },
            2000));
        const std::uint64_t before = Consumed;
        QVERIFY(QTest::qWaitFor([&] { return Consumed > before + 100; }, 2000));
        QCOMPARE(Parts->StartLabel->text(), QStringLiteral("Стоп"));
        QCOMPARE(FreeText(), QString());
        ClickSwitch(Parts->Switch);
        VerifyStopped();
        QCOMPARE(Received(LogPath(1), 8), std::string("\rRP 10\r\r"));
    }

    // Another port during a recording: the old device is stopped with its CR before the port
    // moves, and the new one is told nothing. The status line says why the recording stopped,
    // through hints shown meanwhile, until the next start.
    void portChangeDuringARecordingStopsItFirst() {
        StartSimulator(1);
        StartSimulator(2);
        StartRecording();
        PortSettings(
            [](port_dialogs::TComPortOptions& dialog) { ChoosePort(dialog, "Direct to COM2"); },
            true);
        VerifyStopped();
        QCOMPARE(Form->Port().ComNumber(), std::uint16_t(2));
        QCOMPARE(Summary(), QStringLiteral("COM2 8N1 115200"));
        QCOMPARE(Received(LogPath(1), 8), std::string("\rRP 10\r\r"));
        QCOMPARE(ReceivedBytes(LogPath(2)), std::string());
        const QString note = QStringLiteral("Запись остановлена: порт сменён с COM1 на COM2");
        QCOMPARE(FreeText(), note);
        ShowStatusTip(QStringLiteral("Печатать график"));
        QCOMPARE(FreeText(), QStringLiteral("Печатать график"));
        ShowStatusTip(QString());
        QCOMPARE(FreeText(), note);
        StartRecording();
        QCOMPARE(FreeText(), QString());
        QCOMPARE(Summary(), QStringLiteral("COM2 8N1 115200"));
        ClickSwitch(Parts->Switch);
        VerifyStopped();
    }

    // The dialog opened from its tool button during a recording and cancelled: its hint comes
    // back beside the byte rate in the status line, and the window keeps its size.
    void dialogDuringARecordingLeavesTheWindowsSize() {
        StartSimulator(1);
        StartRecording();
        QVERIFY(QTest::qWaitFor(
            [&] {
                return !Form->findChild<QLabel*>(QStringLiteral("StatusPanel2"))->text().isEmpty();
            },
            2000));
        const QSize before = Form->size();
        QWidget* button = Form->findChild<QToolBar*>(QStringLiteral("ToolBar1"))
                              ->widgetForAction(Form->findChild<QAction*>("actPortSet"));
        QTest::mouseMove(button, button->rect().center());
        PortSettings([](port_dialogs::TComPortOptions&) {}, false);
        QTRY_COMPARE(FreeText(), QStringLiteral("Установки последовательного порта"));
        QCOMPARE(Form->size(), before);
        ClickSwitch(Parts->Switch);
        VerifyStopped();
    }

    // The recording's own port is in use by it, not held by another program as COM2 is.
    void recordingsPortIsInUseByIt() {
        StartSimulator(1);
        StartSimulator(2);
        serial::TPlainMessageLoop loop;
        serial::TSerialPort other(&loop);
        other.SetComNumber(2);
        other.SetOpen(true);
        StartRecording();
        QStringList details;
        PortSettings(
            [&](port_dialogs::TComPortOptions& dialog) {
                details << dialog.PortDetails->text();
                dialog.PortComboBox->setCurrentIndex(
                    dialog.PortComboBox->findText("Direct to COM2"));
                details << dialog.PortDetails->text();
            },
            false);
        QCOMPARE(details.size(), 2);
        QVERIFY2(details[0].endsWith(" | in use by this recording"), qPrintable(details[0]));
        QVERIFY2(details[1].endsWith(" | held by another program"), qPrintable(details[1]));
        ClickSwitch(Parts->Switch);
        VerifyStopped();
    }

    // A typed name is no port: the status line shows COM0 and the next start asks for a port.
    void typedPortAsksForOneAtTheNextStart() {
        StartSimulator(1);
        PortSettings(
            [](port_dialogs::TComPortOptions& dialog) {
                QTest::keyClicks(dialog.PortComboBox->lineEdit(), "ttyUSB0");
            },
            true);
        QCOMPARE(Form->Port().ComNumber(), std::uint16_t(0));
        QCOMPARE(Summary(), QStringLiteral("COM0 8N1 115200"));

        QString prompt;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&] {
            auto* form =
                dynamic_cast<port_dialogs::TComSelectForm*>(QApplication::activeModalWidget());
            if (!form)
                return;
            answer.stop();
            prompt = form->windowTitle();
            form->PortsComboBox->setCurrentIndex(form->PortsComboBox->findText("COM1"));
            form->OkBtn->click();
        });
        answer.start(10);
        TBoxCloser boxes;
        StartRecording();
        QCOMPARE(prompt, QStringLiteral("Select Port"));
        QVERIFY2(boxes.Texts().isEmpty(), qPrintable(boxes.Texts().join(u'|')));
        QCOMPARE(Form->Port().ComNumber(), std::uint16_t(1));
        QCOMPARE(Summary(), QStringLiteral("COM1 8N1 115200"));
        ClickSwitch(Parts->Switch);
        VerifyStopped();
        QCOMPARE(Summary(), QStringLiteral("COM1 8N1 115200"));
    }
};

QTEST_MAIN(PortDialogTest)
#include "port_dialog_test.moc"
