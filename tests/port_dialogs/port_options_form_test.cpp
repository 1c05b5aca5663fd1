// The port settings dialog on pseudo-terminals: what it lists and selects, and what OK and Cancel
// leave in the caller's port.

#include "support/pty_pair.h"

#include "port_dialogs/port_options_form.h"
#include "serial/message_loop.h"
#include "serial/port_map.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <functional>

using namespace serial;
using namespace port_dialogs;
namespace fs = std::filesystem;

namespace {

// Runs the dialog on Target as the window does: Operate acts once the dialog is shown, then OK or
// Cancel ends it; after OK the settings go into Target.
void RunDialog(TSerialPort& Target,
               const std::function<void(port_dialogs::TComPortOptions&)>& Operate, bool Confirm,
               const TDiscoveryRoots& Roots = {}) {
    port_dialogs::TComPortOptions Dialog(nullptr, Roots);
    Dialog.LoadFromPort(Target);
    QTimer Driver;
    QObject::connect(&Driver, &QTimer::timeout, [&] {
        if (!Dialog.isVisible())
            return;
        Driver.stop();
        Operate(Dialog);
        (Confirm ? Dialog.OK : Dialog.Cancel)->click();
    });
    Driver.start(10);
    if (Dialog.Execute() != Confirm)
        QFAIL("the dialog did not end as its button says");
    if (Confirm)
        Dialog.ApplyToPort(Target);
}

void Choose(QButtonGroup* Items, int Index) {
    Items->button(Index)->click();
}

} // namespace

class TPortOptionsFormTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::TPortsIni> Ini;
    TSerialPort Target;

    // COM1 to COM50 lead to no device but those given.
    void MapPorts(const std::map<uint16_t, std::string>& Devices) {
        Ini = std::make_unique<test::TPortsIni>();
        for (uint16_t N = 1; N <= MaxComNumber; ++N)
            Ini->Map(N, Devices.count(N) ? Devices.at(N)
                                         : "/nonexistent/talvir-tty" + std::to_string(N));
    }

private slots:
    void init() {
        MapPorts({});
        Target.SetComNumber(1);
        Target.SetBaud(115200);
        Target.SetTapiMode(tmOff);
    }

    // A free port with its USB adapter described from sysfs, a port another program holds, and
    // numbers without a device, which are not listed.
    void listsPresentPortsAndDescribesTheSelectedOne() {
        test::TPty Free, Held;
        MapPorts({{2, Free.SlavePath()}, {5, Held.SlavePath()}});
        TPlainMessageLoop Loop;
        TSerialPort Holder(&Loop);
        Holder.SetComNumber(5);
        Holder.SetOpen(true);

        QTemporaryDir Sys;
        const fs::path Usb = Sys.filePath("devices/usb1/1-2").toStdString();
        const fs::path Tty = Usb / "1-2:1.0/ttyUSB0";
        fs::create_directories(Tty);
        for (const auto& [Name, Value] : {std::pair{"idVendor", "0403"},
                                          {"idProduct", "6001"},
                                          {"manufacturer", "FTDI"},
                                          {"product", "FT232R USB UART"},
                                          {"serial", "A50285BI"}})
            std::ofstream(Usb / Name) << Value << "\n";
        const fs::path Class = Sys.filePath("class/tty").toStdString() + "/" +
                               fs::path(Free.SlavePath()).filename().string();
        fs::create_directories(Class);
        fs::create_symlink(Tty, Class / "device");

        Target.SetComNumber(2);
        QStringList Items;
        QString Shown, Details;
        RunDialog(Target,
                  [&](port_dialogs::TComPortOptions& Dialog) {
                      for (int I = 0; I < Dialog.PortComboBox->count(); ++I)
                          Items << Dialog.PortComboBox->itemText(I);
                      Shown = Dialog.PortComboBox->currentText();
                      Details = Dialog.PortDetails->text();
                  },
                  false, {Sys.path().toStdString(), "/dev"});
        QCOMPARE(Items, (QStringList{"Direct to COM2", "Direct to COM5"}));
        QCOMPARE(Shown, QString("Direct to COM2"));
        QCOMPARE(Details, QString::fromStdString(Free.SlavePath()) +
                              " | USB 0403:6001 FTDI FT232R USB UART, serial A50285BI");
    }

    void configuredPortNotListedSelectsNothingAndOkKeepsIt() {
        test::TPty Line;
        MapPorts({{2, Line.SlavePath()}});
        Target.SetComNumber(7);
        int Selected = 0;
        QString Text = "unset";
        RunDialog(
            Target,
            [&](port_dialogs::TComPortOptions& Dialog) {
                Selected = Dialog.PortComboBox->currentIndex();
                Text = Dialog.PortComboBox->currentText();
            },
            true);
        QCOMPARE(Selected, -1);
        QCOMPARE(Text, QString());
        QCOMPARE(Target.ComNumber(), uint16_t(7));
    }

    // The number is read from the entry's text after its prefix, whatever its length.
    void choosingAnEntryTakesItsNumber() {
        test::TPty A, B;
        MapPorts({{2, A.SlavePath()}, {12, B.SlavePath()}});
        Target.SetComNumber(2);
        RunDialog(
            Target,
            [](port_dialogs::TComPortOptions& Dialog) {
                Dialog.PortComboBox->setFocus();
                QTest::keyClick(Dialog.PortComboBox, Qt::Key_Down);
            },
            true);
        QCOMPARE(Target.ComNumber(), uint16_t(12));
    }

    // A typed name is no port number: the next open asks for one.
    void typingIntoTheBoxClearsThePortNumber() {
        test::TPty Line;
        MapPorts({{1, Line.SlavePath()}});
        RunDialog(
            Target,
            [](port_dialogs::TComPortOptions& Dialog) {
                QTest::keyClicks(Dialog.PortComboBox->lineEdit(), "Direct to COM1");
            },
            true);
        QCOMPARE(Target.ComNumber(), uint16_t(0));
        QCOMPARE(Target.TapiMode(), tmOff);
    }

    void lineSettingsShowAndComeBack() {
        Target.SetParity(pOdd);
        Target.SetDataBits(6);
        Target.SetStopBits(2);
        Target.SetBaud(57600);
        QList<int> Shown;
        RunDialog(
            Target,
            [&](port_dialogs::TComPortOptions& Dialog) {
                Shown = {Dialog.BaudItems->checkedId(), Dialog.ParityItems->checkedId(),
                         Dialog.DatabitsItems->checkedId(), Dialog.StopbitsItems->checkedId()};
                Choose(Dialog.BaudItems, 5);
                Choose(Dialog.ParityItems, 4);
                Choose(Dialog.DatabitsItems, 1);
                Choose(Dialog.StopbitsItems, 0);
            },
            true);
        QCOMPARE(Shown, (QList<int>{8, 1, 2, 1}));
        QCOMPARE(Target.Baud(), 9600);
        QCOMPARE(Target.Parity(), pSpace);
        QCOMPARE(Target.DataBits(), uint16_t(7));
        QCOMPARE(Target.StopBits(), uint16_t(1));
    }

    void rateNotInTheTableShowsAndBecomes19200() {
        Target.SetBaud(14400);
        int Shown = -1;
        RunDialog(
            Target,
            [&](port_dialogs::TComPortOptions& Dialog) { Shown = Dialog.BaudItems->checkedId(); },
            true);
        QCOMPARE(Shown, 6);
        QCOMPARE(Target.Baud(), 19200);
    }

    void flowCharactersKeepTheirLowByteAndIgnoreText() {
        Target.SetXOnChar(20);
        RunDialog(
            Target,
            [](port_dialogs::TComPortOptions& Dialog) {
                Dialog.Edit1->setText("abc");
                Dialog.Edit2->setText("300");
            },
            true);
        QCOMPARE(Target.XOnChar(), uint8_t(20));
        QCOMPARE(Target.XOffChar(), uint8_t(44));
    }

    void bothBoxesOfAKindGiveBothDirections() {
        RunDialog(
            Target,
            [](port_dialogs::TComPortOptions& Dialog) {
                for (QCheckBox* Box :
                     {Dialog.DTRRTS, Dialog.RTSCTS, Dialog.SoftwareXmit, Dialog.SoftwareRcv})
                    Box->setChecked(true);
            },
            true);
        QCOMPARE(Target.HWFlowOptions(),
                 (THWFlowOptionSet{hwfUseDTR, hwfUseRTS, hwfRequireDSR, hwfRequireCTS}));
        QCOMPARE(Target.SWFlowOptions(), swfBoth);
    }

    void rtsAloneComesBackWithCts() {
        Target.SetHWFlowOptions({hwfUseRTS});
        bool Dtr = true, Rts = false;
        RunDialog(
            Target,
            [&](port_dialogs::TComPortOptions& Dialog) {
                Dtr = Dialog.DTRRTS->isChecked();
                Rts = Dialog.RTSCTS->isChecked();
            },
            true);
        QVERIFY(!Dtr && Rts);
        QCOMPARE(Target.HWFlowOptions(), (THWFlowOptionSet{hwfUseRTS, hwfRequireCTS}));
    }

    void cancelChangesNothing() {
        test::TPty Line;
        MapPorts({{1, Line.SlavePath()}, {3, Line.SlavePath()}});
        Target.SetHWFlowOptions({hwfUseRTS});
        Target.SetBaud(14400);
        const auto Settings = [this] {
            return std::tuple(Target.ComNumber(), Target.Baud(), Target.Parity(), Target.DataBits(),
                              Target.StopBits(), Target.HWFlowOptions().Bits(),
                              Target.SWFlowOptions(), Target.XOnChar(), Target.XOffChar(),
                              Target.TapiMode());
        };
        const auto Before = Settings();
        RunDialog(
            Target,
            [](port_dialogs::TComPortOptions& Dialog) {
                QTest::keyClick(Dialog.PortComboBox, Qt::Key_Down);
                Choose(Dialog.BaudItems, 0);
                Choose(Dialog.ParityItems, 2);
                Choose(Dialog.DatabitsItems, 3);
                Choose(Dialog.StopbitsItems, 1);
                for (QCheckBox* Box :
                     {Dialog.DTRRTS, Dialog.RTSCTS, Dialog.SoftwareXmit, Dialog.SoftwareRcv})
                    Box->toggle();
                Dialog.Edit1->setText("1");
                Dialog.Edit2->setText("2");
            },
            false);
        QVERIFY(Settings() == Before);
    }
};

QTEST_MAIN(TPortOptionsFormTest)
#include "port_options_form_test.moc"
