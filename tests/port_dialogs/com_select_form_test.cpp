// The "Select Port" prompt's own contents.

#include "port_dialogs/com_select_form.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

using namespace port_dialogs;

class TComSelectFormTest : public QObject {
    Q_OBJECT

private slots:
    void selectPortFormShowsItsTexts() {
        port_dialogs::TComSelectForm Form({2, 7, 11});
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

    void buttonsConfirmAndAbort() {
        port_dialogs::TComSelectForm Form({1});
        Form.OkBtn->click();
        QCOMPARE(Form.result(), int(QDialog::Accepted));
        Form.AbortBtn->click();
        QCOMPARE(Form.result(), int(QDialog::Rejected));
    }
};

QTEST_MAIN(TComSelectFormTest)
#include "com_select_form_test.moc"
