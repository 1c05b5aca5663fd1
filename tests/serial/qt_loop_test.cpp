// The port under the program's own Qt message loop: deliveries on the window thread, the deferred
// release through queued calls, and the "Select Port" prompt of an open without a port number.
// GoogleTest with an application object of its own: Qt Test's watchdog thread synchronises in ways
// ThreadSanitizer cannot see, and these tests run under it.

#include "support/pty_pair.h"

#include "port_dialogs/com_select_form.h"
#include "serial/errors.h"
#include "serial/serial_port.h"

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>

using namespace serial;
using namespace serial::test;
using namespace std::chrono_literals;

namespace {

bool ProcessEventsUntil(const std::function<bool()>& Done) {
    const auto Deadline = std::chrono::steady_clock::now() + 3s;
    while (!Done()) {
        if (std::chrono::steady_clock::now() > Deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Answers the modal prompt once it is up: picks Entry and confirms, or cancels.
void AnswerPrompt(bool Confirm, const QString& Entry) {
    auto* Form = dynamic_cast<port_dialogs::TComSelectForm*>(QApplication::activeModalWidget());
    if (!Form) {
        QTimer::singleShot(10, [=] { AnswerPrompt(Confirm, Entry); });
        return;
    }
    EXPECT_EQ(Form->windowTitle(), QString("Select Port"));
    const int Index = Form->PortsComboBox->findText(Entry);
    if (Confirm && Index >= 0) {
        Form->PortsComboBox->setCurrentIndex(Index);
        Form->OkBtn->click();
    } else {
        Form->AbortBtn->click();
    }
}

class QtLoopPort : public ::testing::Test {
protected:
    void SetUp() override {
        Ini.Map(7, Pty.SlavePath());
        Port.SetComNumber(7);
    }

    TPortsIni Ini;
    TPty Pty;
    TSerialPort Port; // the default loop: Qt's
};

TEST_F(QtLoopPort, AvailIsRaisedOnTheWindowThread) {
    std::string Got;
    bool OnWindowThread = true;
    Port.OnTriggerAvail = [&](TSerialPort* CP, uint16_t Count) {
        OnWindowThread = OnWindowThread && QThread::currentThread() == qApp->thread();
        for (int I = 0; I < Count; ++I)
            Got.push_back(static_cast<char>(CP->ReadChar()));
    };
    Port.SetOpen(true);
    Pty.Send("hello");
    ASSERT_TRUE(ProcessEventsUntil([&] { return Got.size() >= 5; }));
    EXPECT_EQ(Got, "hello");
    EXPECT_TRUE(OnWindowThread);
}

TEST_F(QtLoopPort, CloseInsideAHandlerIsReleasedThroughTheEventLoop) {
    int Calls = 0;
    Port.OnTriggerAvail = [&](TSerialPort* CP, uint16_t) {
        ++Calls;
        CP->SetOpen(false);
        CP->SetOpen(true);
    };
    Port.SetOpen(true);
    Pty.Send("x");
    ASSERT_TRUE(ProcessEventsUntil([&] { return Calls == 1 && Port.State() == psOpen; }));
    EXPECT_TRUE(Port.Open());
}

// Counts the paints of the widget it watches.
class TPaintCounter : public QObject {
public:
    int Paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* Event) override {
        Paints += Event->type() == QEvent::Paint;
        return false;
    }
};

// The recorder closes the port from a data handler and then shows its message box, inside the
// handler. The box must be painted and answer at once, not after the dispatch thread has given
// up waiting for the handler.
TEST_F(QtLoopPort, ABoxShownAfterACloseInsideAHandlerIsPaintedAndAnswers) {
    int PaintsWhenAnswered = -1;
    TPortState StateWhenAnswered = psOpen;
    Port.OnTriggerAvail = [&](TSerialPort* CP, uint16_t) {
        CP->SetOpen(false);
        QMessageBox Box(QMessageBox::Critical, "Error", "stopped");
        TPaintCounter Counter;
        Box.installEventFilter(&Counter);
        QTimer::singleShot(200, &Box, [&] {
            PaintsWhenAnswered = Counter.Paints;
            StateWhenAnswered = CP->State();
            Box.done(0);
        });
        Box.exec();
    };
    Port.SetOpen(true);
    Pty.Send("x");
    ASSERT_TRUE(ProcessEventsUntil([&] { return PaintsWhenAnswered >= 0; }));
    EXPECT_GT(PaintsWhenAnswered, 0);
    EXPECT_EQ(StateWhenAnswered, psClosing) << "the box answered only once the close had ended";
    ASSERT_TRUE(ProcessEventsUntil([&] { return Port.State() == psClosed; }));
}

TEST_F(QtLoopPort, OpenWithoutPortNumberPromptsAndCancelFails) {
    Port.SetComNumber(0);
    Port.SetPortPrompt(port_dialogs::SelectComPort);
    QTimer::singleShot(0, [] { AnswerPrompt(false, QString()); });
    EXPECT_THROW(Port.SetOpen(true), ENoPortSelected);
    EXPECT_FALSE(Port.Open());
}

TEST_F(QtLoopPort, OpenWithoutPortNumberOpensThePortChosen) {
    TPty Other;
    Ini.Map(40, Other.SlavePath());
    Port.SetComNumber(0);
    Port.SetPortPrompt(port_dialogs::SelectComPort);
    QTimer::singleShot(0, [] { AnswerPrompt(true, "COM40"); });
    Port.SetOpen(true);
    EXPECT_EQ(Port.ComNumber(), 40);
    EXPECT_TRUE(Port.Open());
}

} // namespace

int main(int argc, char** argv) {
    QApplication App(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
