#include "settings/error_report.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QtGlobal>

namespace settings {

namespace {

// Throws its error from its event handler, where the application's notify() catches it.
class TErrorCarrier : public QObject {
public:
    explicit TErrorCarrier(std::exception_ptr error) : Error_(std::move(error)) {}

    static QEvent::Type Type() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

protected:
    bool event(QEvent* e) override {
        if (e->type() == Type())
            std::rethrow_exception(Error_);
        return QObject::event(e);
    }

private:
    std::exception_ptr Error_;
};

} // namespace

void ReportError(std::exception_ptr error) {
    try {
        TErrorCarrier carrier(error);
        QEvent event(TErrorCarrier::Type());
        QCoreApplication::sendEvent(&carrier, &event);
    } catch (const std::exception& unreported) {
        qWarning("%s", unreported.what());
    }
}

} // namespace settings
