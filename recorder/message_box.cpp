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

std::optional<std::string> ChooseFile(QWidget* parent, const char* name,
                                      QFileDialog::AcceptMode mode, const QString& filter,
                                      const QString& suffix) {
    QFileDialog dialog(parent);
    dialog.setObjectName(QString::fromLatin1(name));
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                       : QFileDialog::ExistingFile);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

} // namespace recorder
