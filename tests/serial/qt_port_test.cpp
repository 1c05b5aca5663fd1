// The port under the program's own message loop: deliveries on the window thread, the deferred
// release through queued calls, and the "Select Port" prompt.

#include "pty_pair.h"

#include "serial/com_select_form.h"
#include "serial/errors.h"
#include "serial/serial_port.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QtTest>

using namespace serial;
using namespace serial::test;

class TQtPortTest : public QObject {
    Q_OBJECT

private slots:
    void availIsRaisedOnTheWindowThread()
    {
        TPortsIni Ini;
        TPty Pty;
        Ini.Map(7, Pty.SlavePath());
        TSerialPort Port;
        Port.SetComNumber(7);
        QByteArray Got;
        bool OnWindowThread = true;
        Port.OnTriggerAvail = [&](TSerialPort* CP, uint16_t Count) {
            OnWindowThread = OnWindowThread && QThread::currentThread() == qApp->thread();
            for (int I = 0; I < Count; ++I)
                Got.append(static_cast<char>(CP->ReadChar()));
        };
        Port.SetOpen(true);
        Pty.Send("hello");
        QTRY_COMPARE(Got, QByteArray("hello"));
        QVERIFY(OnWindowThread);
    }

    void closeInsideAHandlerIsReleasedThroughTheEventLoop()
    {
        TPortsIni Ini;
        TPty Pty;
        Ini.Map(7, Pty.SlavePath());
        TSerialPort Port;
        Port.SetComNumber(7);
        int Calls = 0;
        Port.OnTriggerAvail = [&](TSerialPort* CP, uint16_t) {
            ++Calls;
            CP->SetOpen(false);
            CP->SetOpen(true);
        };
        Port.SetOpen(true);
        Pty.Send("x");
        QTRY_COMPARE(Calls, 1);
        QTRY_COMPARE(Port.State(), psOpen);
        QVERIFY(Port.Open());
    }

    void selectPortFormShowsItsTexts()
    {
        TComSelectForm Form({2, 7, 11});
        QCOMPARE(Form.windowTitle(), QString("Select Port"));
        QCOMPARE(Form.PortsComboBox->count(), 3);
        QCOMPARE(Form.PortsComboBox->currentText(), QString("COM2"));
        QCOMPARE(Form.PortsComboBox->itemText(2), QString("COM11"));
        QCOMPARE(Form.OkBtn->text(), QString("OK"));
        QCOMPARE(Form.AbortBtn->text(), QString("Cancel"));
        QStringList Labels;
        for (auto* L : Form.findChildren<QLabel*>())
            Labels << L->text();
        QVERIFY(Labels.contains("The configured serial port is not valid."));
        QVERIFY(Labels.contains("Please choose another port."));
        Form.PortsComboBox->setCurrentIndex(2);
        QCOMPARE(Form.SelectedPort(), uint16_t(11));
    }

    void openWithoutPortNumberPromptsAndCancelFails()
    {
        TPortsIni Ini;
        TSerialPort Port;
        QTimer::singleShot(0, [] { Answer(false, QString()); });
        QVERIFY_THROWS_EXCEPTION(ENoPortSelected, Port.SetOpen(true));
        QVERIFY(!Port.Open());
    }

    void openWithoutPortNumberOpensThePortChosen()
    {
        TPortsIni Ini;
        TPty Pty;
        Ini.Map(40, Pty.SlavePath());
        TSerialPort Port;
        QTimer::singleShot(0, [] { Answer(true, "COM40"); });
        Port.SetOpen(true);
        QCOMPARE(Port.ComNumber(), uint16_t(40));
        QVERIFY(Port.Open());
    }

private:
    // Answers the modal prompt once it is up: picks Entry and confirms, or cancels.
    static void Answer(bool Confirm, const QString& Entry)
    {
        auto* Form = dynamic_cast<TComSelectForm*>(QApplication::activeModalWidget());
        if (!Form) {
            QTimer::singleShot(10, [=] { Answer(Confirm, Entry); });
            return;
        }
        QCOMPARE(Form->windowTitle(), QString("Select Port"));
        if (Confirm) {
            const int Index = Form->PortsComboBox->findText(Entry);
            QVERIFY(Index >= 0);
            Form->PortsComboBox->setCurrentIndex(Index);
            Form->OkBtn->click();
        } else {
            Form->AbortBtn->click();
        }
    }
};

QTEST_MAIN(TQtPortTest)
#include "qt_port_test.moc"
