#include "recorder/message_box.h"

#include <QMessageBox>
#include <QPushButton>

namespace recorder {

void ShowErrorBox(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::NoButton,
                    parent);
    QPushButton* abort = box.addButton(QStringLiteral("&Abort"), QMessageBox::RejectRole);
    box.setDefaultButton(abort);
    box.setEscapeButton(abort);
    box.exec();
}

} // namespace recorder
