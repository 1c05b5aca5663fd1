#include "port_dialogs/port_options_form.h"

#include "port_dialogs/device_selection_form.h"
#include "serial/port_map.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <iterator>

namespace port_dialogs {

namespace {

// The rates offered, each as rate / 10 in 16 bits, in the order of the Bauds items.
constexpr uint16_t BaudTable[] = {30, 60, 120, 240, 480, 960, 1920, 3840, 5760, 11520};
// A rate that is not in the table shows as 19200.
constexpr int DefaultBaudIndex = 6;
constexpr qsizetype PrefixLength = std::size(PortEntryPrefix) - 1;

// Radio items in two columns, filled column by column; the id of an item is its index.
QButtonGroup* RadioItems(QGroupBox* Box, const QStringList& Items) {
    auto* Group = new QButtonGroup(Box);
    auto* Grid = new QGridLayout(Box);
    Grid->setContentsMargins(8, 2, 4, 4);
    Grid->setSpacing(0);
    const qsizetype Rows = (Items.size() + 1) / 2;
    for (qsizetype I = 0; I < Items.size(); ++I) {
        auto* Button = new QRadioButton(Items[I], Box);
        Group->addButton(Button, static_cast<int>(I));
        Grid->addWidget(Button, static_cast<int>(I % Rows), static_cast<int>(I / Rows));
    }
    return Group;
}

// Checks the item at Index; an index without an item leaves none checked.
void SetItemIndex(QButtonGroup* Group, int Index) {
    if (QAbstractButton* Button = Group->button(Index)) {
        Button->setChecked(true);
    } else if (QAbstractButton* Checked = Group->checkedButton()) {
        // An exclusive group never lets its last checked button go up by itself.
        Group->setExclusive(false);
        Checked->setChecked(false);
        Group->setExclusive(true);
    }
}

// A flow character typed as a decimal number, its low 8 bits; anything else keeps Old.
uint8_t FlowChar(const QString& Text, uint8_t Old) {
    bool Ok = false;
    const int Value = Text.toInt(&Ok);
    return Ok ? static_cast<uint8_t>(Value & 0xFF) : Old;
}

serial::THWFlowOptionSet HWFlowOf(bool DtrDsr, bool RtsCts) {
    if (DtrDsr && RtsCts)
        return {serial::hwfUseDTR, serial::hwfUseRTS, serial::hwfRequireDSR, serial::hwfRequireCTS};
    if (DtrDsr)
        return {serial::hwfUseDTR, serial::hwfRequireDSR};
    if (RtsCts)
        return {serial::hwfUseRTS, serial::hwfRequireCTS};
    return {};
}

serial::TSWFlowOptions SWFlowOf(bool Transmit, bool Receive) {
    if (Transmit && Receive)
        return serial::swfBoth;
    return Transmit ? serial::swfTransmit : Receive ? serial::swfReceive : serial::swfNone;
}

} // namespace

TComPortOptions::TComPortOptions(QWidget* Owner, serial::TDiscoveryRoots Roots)
    : QDialog(Owner), Comports(new QGroupBox("ComPorts", this)),
      PortComboBox(new QComboBox(Comports)), PortDetails(new QLineEdit(Comports)),
      Bauds(new QGroupBox("&Baud rates:", this)), Paritys(new QGroupBox("&Parity:", this)),
      Databits(new QGroupBox("&Data bits:", this)), Stopbits(new QGroupBox("&Stop bits:", this)),
      FlowControlBox(new QGroupBox("&Flow control:", this)),
      DTRRTS(new QCheckBox("DTR/DSR", FlowControlBox)),
      RTSCTS(new QCheckBox("RTS/CTS", FlowControlBox)),
      SoftwareXmit(new QCheckBox("Software transmit", FlowControlBox)),
      SoftwareRcv(new QCheckBox("Software receive", FlowControlBox)),
      Edit1(new QLineEdit("17", FlowControlBox)), Edit2(new QLineEdit("19", FlowControlBox)),
      OK(new QPushButton("OK", this)), Cancel(new QPushButton("Cancel", this)),
      BaudItems(RadioItems(Bauds, {"300", "600", "1200", "2400", "4800", "9600", "19200", "38400",
                                   "57600", "115200"})),
      ParityItems(RadioItems(Paritys, {"None", "Odd", "Even", "Mark", "Space"})),
      DatabitsItems(RadioItems(Databits, {"8", "7", "6", "5"})),
      StopbitsItems(RadioItems(Stopbits, {"1", "2"})), FRoots(std::move(Roots)) {
    setWindowTitle("Com Port Options");
    QFont Small = font();
    Small.setPointSize(8);
    setFont(Small);
    setFixedSize(512, 234);
    if (const QScreen* Screen = QGuiApplication::primaryScreen())
        move(Screen->availableGeometry().center() - rect().center());

    Comports->setGeometry(8, 4, 496, 66);
    PortComboBox->setGeometry(8, 18, 200, 22);
    PortComboBox->setEditable(true);
    PortComboBox->setInsertPolicy(QComboBox::NoInsert);
    PortComboBox->setCompleter(nullptr);
    PortDetails->setGeometry(8, 42, 480, 18);
    PortDetails->setReadOnly(true);
    PortDetails->setFrame(false);
    PortDetails->setFocusPolicy(Qt::ClickFocus);

    Bauds->setGeometry(8, 74, 138, 112);
    Paritys->setGeometry(152, 74, 122, 76);
    Stopbits->setGeometry(152, 154, 122, 40);
    Databits->setGeometry(280, 74, 76, 58);
    FlowControlBox->setGeometry(362, 74, 142, 148);
    DTRRTS->setGeometry(8, 18, 128, 18);
    RTSCTS->setGeometry(8, 36, 128, 18);
    RTSCTS->setChecked(true);
    SoftwareXmit->setGeometry(8, 54, 128, 18);
    SoftwareRcv->setGeometry(8, 72, 128, 18);
    auto* XonLabel = new QLabel("Xon char:", FlowControlBox);
    XonLabel->setGeometry(8, 98, 64, 18);
    XonLabel->setBuddy(Edit1);
    Edit1->setGeometry(76, 96, 48, 20);
    auto* XoffLabel = new QLabel("Xoff char:", FlowControlBox);
    XoffLabel->setGeometry(8, 122, 64, 18);
    XoffLabel->setBuddy(Edit2);
    Edit2->setGeometry(76, 120, 48, 20);
    OK->setGeometry(280, 164, 76, 26);
    OK->setDefault(true);
    Cancel->setGeometry(280, 196, 76, 26);

    connect(OK, &QPushButton::clicked, this, &QDialog::accept);
    connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(PortComboBox, &QComboBox::activated, this,
            [this](int Index) { PortComboBoxChange(Index); });
    // Typed text is no entry of the list, whatever it reads.
    connect(PortComboBox->lineEdit(), &QLineEdit::textEdited, this,
            [this] { PortComboBoxChange(-1); });
    connect(PortComboBox, &QComboBox::currentIndexChanged, this, [this] { ShowPortDetails(); });
}

void TComPortOptions::LoadFromPort(const serial::TSerialPort& Port) {
    FPort.SetDeviceLayer(Port.DeviceLayer());
    FPort.SetComNumber(Port.ComNumber());
    FPort.SetBaud(Port.Baud());
    FPort.SetParity(Port.Parity());
    FPort.SetDataBits(Port.DataBits());
    FPort.SetStopBits(Port.StopBits());
    FPort.SetInSize(Port.InSize());
    FPort.SetOutSize(Port.OutSize());
    FPort.SetAutoOpen(Port.AutoOpen());
    FPort.SetPromptForPort(Port.PromptForPort());
    FPort.SetDTR(Port.DTR());
    FPort.SetRTS(Port.RTS());
    // The marks before the options, which would otherwise derive marks of their own.
    FPort.SetBufferFull(Port.BufferFull());
    FPort.SetBufferResume(Port.BufferResume());
    FPort.SetHWFlowOptions(Port.HWFlowOptions());
    FPort.SetSWFlowOptions(Port.SWFlowOptions());
    FPort.SetXOnChar(Port.XOnChar());
    FPort.SetXOffChar(Port.XOffChar());
    FPort.SetTapiMode(Port.TapiMode());
    FRecordingDevice = !Port.Open()                ? std::string()
                       : Port.DevicePath().empty() ? serial::PortDevicePath(Port.ComNumber())
                                                   : Port.DevicePath();
}

bool TComPortOptions::Execute() {
    int BaudIndex = DefaultBaudIndex;
    const auto Rate = static_cast<uint16_t>(FPort.Baud() / 10);
    for (int I = 0; I < static_cast<int>(std::size(BaudTable)); ++I)
        if (BaudTable[I] == Rate) {
            BaudIndex = I;
            break;
        }
    SetItemIndex(BaudItems, BaudIndex);
    SetItemIndex(ParityItems, FPort.Parity());
    SetItemIndex(DatabitsItems, 8 - FPort.DataBits());
    SetItemIndex(StopbitsItems, FPort.StopBits() - 1);
    DTRRTS->setChecked(FPort.HWFlowOptions().Contains(serial::hwfUseDTR));
    RTSCTS->setChecked(FPort.HWFlowOptions().Contains(serial::hwfUseRTS));
    SoftwareXmit->setChecked(FPort.SWFlowOptions() == serial::swfTransmit ||
                             FPort.SWFlowOptions() == serial::swfBoth);
    SoftwareRcv->setChecked(FPort.SWFlowOptions() == serial::swfReceive ||
                            FPort.SWFlowOptions() == serial::swfBoth);
    Edit1->setText(QString::number(FPort.XOnChar()));
    Edit2->setText(QString::number(FPort.XOffChar()));

    TDeviceSelectionForm List(this, FRoots);
    List.ShowPorts = ShowPorts;
    List.BuildList();
    PortComboBox->clear();
    PortComboBox->addItems(List.Items());
    FRegistrationError = List.RegistrationError();

    FExecuted = exec() == QDialog::Accepted;
    return FExecuted;
}

void TComPortOptions::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    FormShow();
}

void TComPortOptions::FormShow() {
    const QString Wanted = FPort.TapiMode() == serial::tmOff
                               ? PortEntryPrefix + QString::number(FPort.ComNumber())
                               : FRememberedDevice;
    const int Index = PortComboBox->findText(Wanted, Qt::MatchExactly | Qt::MatchCaseSensitive);
    PortComboBox->setCurrentIndex(Index);
    if (Index < 0)
        PortComboBox->setEditText(QString());
    ShowPortDetails();
}

void TComPortOptions::PortComboBoxChange(int Selection) {
    const QString Text = Selection >= 0 ? PortComboBox->itemText(Selection) : QString();
    if (Text.contains(PortEntryPrefix)) {
        FPort.SetTapiMode(serial::tmOff);
        FPort.SetComNumber(Text.mid(PrefixLength).toUShort());
    } else {
        FPort.SetTapiMode(serial::tmAuto);
        FPort.SetComNumber(0);
        FRememberedDevice = Text;
    }
    if (Selection < 0)
        PortDetails->clear();
}

void TComPortOptions::ShowPortDetails() {
    const QString Entry =
        PortComboBox->currentIndex() >= 0 ? PortComboBox->currentText() : QString();
    QString Line;
    if (Entry.startsWith(PortEntryPrefix))
        Line = QString::fromStdString(
            serial::DescribePort(Entry.mid(PrefixLength).toUShort(), FRoots, FRecordingDevice));
    if (!FRegistrationError.empty())
        Line += (Line.isEmpty() ? "" : " | ") +
                QString::fromStdString("ports.ini not updated: " + FRegistrationError);
    PortDetails->setText(Line);
    PortDetails->setCursorPosition(0);
}

void TComPortOptions::ApplyToPort(serial::TSerialPort& Target) {
    if (FExecuted) {
        FPort.SetBaud(BaudTable[BaudItems->checkedId()] * 10);
        if (ParityItems->checkedId() >= 0)
            FPort.SetParity(static_cast<serial::TParity>(ParityItems->checkedId()));
        if (DatabitsItems->checkedId() >= 0)
            FPort.SetDataBits(static_cast<uint16_t>(8 - DatabitsItems->checkedId()));
        if (StopbitsItems->checkedId() >= 0)
            FPort.SetStopBits(static_cast<uint16_t>(StopbitsItems->checkedId() + 1));
        FPort.SetHWFlowOptions(HWFlowOf(DTRRTS->isChecked(), RTSCTS->isChecked()));
        FPort.SetSWFlowOptions(SWFlowOf(SoftwareXmit->isChecked(), SoftwareRcv->isChecked()));
        FPort.SetXOnChar(FlowChar(Edit1->text(), FPort.XOnChar()));
        FPort.SetXOffChar(FlowChar(Edit2->text(), FPort.XOffChar()));
    }
    // Through the setters, so that an open port takes each at once: a new rate once its output
    // has drained, a new number by closing and reopening.
    Target.SetBaud(FPort.Baud());
    Target.SetComNumber(FPort.ComNumber());
    Target.SetDataBits(FPort.DataBits());
    Target.SetHWFlowOptions(FPort.HWFlowOptions());
    Target.SetParity(FPort.Parity());
    Target.SetStopBits(FPort.StopBits());
    Target.SetTapiMode(serial::tmOff);
    Target.SetSWFlowOptions(FPort.SWFlowOptions());
    Target.SetXOnChar(FPort.XOnChar());
    Target.SetXOffChar(FPort.XOffChar());
    Target.SetDeviceLayer(serial::dlWin32);
}

} // namespace port_dialogs
