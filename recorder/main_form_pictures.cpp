// The chart as a picture: saved to a file of the format its extension names, copied to the
// clipboard, printed on one page.

#include "chart/chart.h"
#include "recorder/busy_cursor.h"
#include "recorder/main_form.h"
#include "recorder/message_box.h"
#include "recorder/report.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>

namespace recorder {

namespace {

// Filters and the extension each puts on a name typed without one.
const std::pair<const char*, const char*> PictureFilters[] = {
    {"Bitmaps (*.bmp)", "bmp"},   {"Enhanced Metafiles (*.emf)", "emf"},
    {"Metafiles (*.wmf)", "wmf"}, {"PNG (*.png)", "png"},
    {"SVG (*.svg)", "svg"},       {"PDF (*.pdf)", "pdf"},
};

} // namespace

void TMainForm::WirePictures() {
    SavePictureDialog = new QFileDialog(this);
    SavePictureDialog->setObjectName(QStringLiteral("SavePictureDialog"));
    SavePictureDialog->setAcceptMode(QFileDialog::AcceptSave);
    SavePictureDialog->setFileMode(QFileDialog::AnyFile);
    QStringList filters;
    for (const auto& [filter, extension] : PictureFilters)
        filters << QString::fromLatin1(filter);
    SavePictureDialog->setNameFilters(filters);
    SavePictureDialog->setDefaultSuffix(QStringLiteral("bmp"));
    connect(SavePictureDialog, &QFileDialog::filterSelected, this, [this](const QString& chosen) {
        for (const auto& [filter, extension] : PictureFilters) {
            if (chosen == QLatin1String(filter))
                SavePictureDialog->setDefaultSuffix(QString::fromLatin1(extension));
        }
    });

    PrinterSetupDialog = new QPrintDialog(this);
    PrinterSetupDialog->setObjectName(QStringLiteral("PrinterSetupDialog"));

    connect(actSaveImage, &QAction::triggered, this,
            [this] { RunReporting([this] { actSaveImageExecute(actSaveImage); }); });
    connect(actCopy, &QAction::triggered, this,
            [this] { RunReporting([this] { actCopyExecute(actCopy); }); });
    connect(actPrint, &QAction::triggered, this,
            [this] { RunReporting([this] { actPrintExecute(actPrint); }); });
}

void TMainForm::actSaveImageExecute(QObject*) {
    if (SavePictureDialog->exec() != QDialog::Accepted ||
        SavePictureDialog->selectedFiles().isEmpty())
        return;
    const QString name = SavePictureDialog->selectedFiles().front();
    const std::optional<chart::TPictureFormat> format = chart::PictureFormatForName(name);
    if (!format) {
        ShowErrorBox(this, QStringLiteral("Рисунок не сохранён: формат файла «%1» неизвестен. "
                                          "Известные форматы: %2.")
                               .arg(QFileInfo(name).fileName(), chart::PictureExtensions()));
        return;
    }
    TBusyCursor busy;
    Chart->WritePictureFile(name, *format);
}

void TMainForm::actCopyExecute(QObject*) {
    TBusyCursor busy;
    Chart->CopyPictureToClipboard(true);
}

void TMainForm::actPrintExecute(QObject*) {
    if (PrinterSetupDialog->exec() != QDialog::Accepted)
        return;
    TBusyCursor busy;
    Chart->PrintChart(*PrinterSetupDialog->printer());
}

} // namespace recorder
