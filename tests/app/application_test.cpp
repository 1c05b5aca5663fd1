#include "app/application.h"

#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <stdexcept>

namespace {

// A receiver whose handler fails the way a component does: with an exception.
class TFailingReceiver : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) {
            throw std::runtime_error("Порт COM1 занят другой программой");
        }
        return QObject::event(e);
    }
};

} // namespace

class ApplicationTest : public QObject {
    Q_OBJECT

private slots:
    void reportsAnEscapedExceptionAndGoesOn() {
        QString shownText;
        QString shownTitle;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            shownText = box->text();
            shownTitle = box->windowTitle();
            box->close();
        });

        TFailingReceiver receiver;
        QEvent event(QEvent::User);
        QCOMPARE(QCoreApplication::sendEvent(&receiver, &event), false);

        QCOMPARE(shownText, QStringLiteral("Порт COM1 занят другой программой"));
        QCOMPARE(shownTitle, QStringLiteral("Тальвир 1.0"));

        // The loop goes on delivering events after the report.
        bool delivered = false;
        QTimer::singleShot(0, [&] { delivered = true; });
        QTRY_VERIFY(delivered);
    }
};

int main(int argc, char* argv[]) {
    app::TApplication application(argc, argv);
    ApplicationTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "application_test.moc"
