// The chart onto other targets than the window: picture files, the clipboard and the printer,
// each through the same full repaint, DrawChart.

#include "chart/chart.h"
#include "chart/metafile.h"
#include "files/file_io.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPicture>
#include <QPrinter>
#include <QSvgGenerator>

#include <stdexcept>
#include <string>

namespace chart {

namespace {

// The chart while it draws for output. The window's kept image goes, so its next paint is a full
// repaint that runs the hooks again for the screen; the flags are cleared on every way out.
class TOutputScope {
public:
    TOutputScope(TChart& chart, bool recording)
        : chart_(chart), useBackBuffer_(chart.UseBackBuffer()) {
        chart_.SetUseBackBuffer(false);
        chart_.Canvas().SetRecordingPicture(recording);
    }
    ~TOutputScope() {
        chart_.Canvas().SetIsPrinting(false);
        chart_.Canvas().SetRecordingPicture(false);
        chart_.SetUseBackBuffer(useBackBuffer_);
    }
    TOutputScope(const TOutputScope&) = delete;
    TOutputScope& operator=(const TOutputScope&) = delete;

private:
    TChart& chart_;
    bool useBackBuffer_;
};

QByteArray EncodedImage(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format))
        throw std::runtime_error(std::string("The picture could not be encoded as ") + format);
    return bytes;
}

} // namespace

QByteArray TChart::PictureBytes(TPictureFormat format) {
    const QRect panel = rect();
    switch (format) {
    case TPictureFormat::Bitmap:
    case TPictureFormat::Png: {
        // 24 bits a pixel, the panel's background included; the bitmap writer keeps 24 bits.
        QImage image(panel.size(), QImage::Format_RGB32);
        {
            TOutputScope scope(*this, false);
            QPainter painter(&image);
            DrawChart(painter, panel);
        }
        return EncodedImage(image, format == TPictureFormat::Bitmap ? "BMP" : "PNG");
    }
    case TPictureFormat::EnhancedMetafile:
        return MakeMetafile(true, panel);
    case TPictureFormat::Metafile:
        return MakeMetafile(false, panel);
    case TPictureFormat::Svg: {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(panel.size());
        svg.setViewBox(panel);
        // Fonts take the screen's size, as the layout measured them.
        svg.setResolution(logicalDpiX());
        TOutputScope scope(*this, true);
        QPainter painter(&svg);
        DrawChart(painter, panel);
        painter.end();
        return bytes;
    }
    case TPictureFormat::Pdf: {
        // One page of the chart's own size, not the print layout.
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter pdf(&buffer);
        const double dpi = logicalDpiX();
        pdf.setResolution(logicalDpiX());
        pdf.setPageSize(QPageSize(QSizeF(panel.width() / dpi, panel.height() / dpi),
                                  QPageSize::Inch, QString(), QPageSize::ExactMatch));
        pdf.setPageMargins(QMarginsF());
        pdf.setTitle(objectName());
        TOutputScope scope(*this, true);
        QPainter painter(&pdf);
        DrawChart(painter, panel);
        painter.end();
        return bytes;
    }
    }
    throw std::logic_error("unknown picture format");
}

void TChart::WritePictureFile(const QString& name, TPictureFormat format) {
    const QByteArray bytes = PictureBytes(format);
    files::ReplaceFileContent(name.toStdString(), std::string_view(bytes.data(), bytes.size()));
}

void TChart::WriteMetafile(const QString& name, bool enhanced) {
    WritePictureFile(name, enhanced ? TPictureFormat::EnhancedMetafile : TPictureFormat::Metafile);
}

QByteArray TChart::MakeMetafile(bool enhanced, const QRect& r) {
    const QSize frame(std::max(1, r.width() - 1), std::max(1, r.height() - 1));
    TMetafileDevice device(enhanced ? TMetafileKind::Enhanced : TMetafileKind::Windows, r.size(),
                           frame, logicalDpiX());
    {
        TOutputScope scope(*this, true);
        QPainter painter(&device);
        DrawChart(painter, r);
    }
    return device.Bytes();
}

void TChart::CopyPictureToClipboard(bool) {
    auto mime = std::make_unique<QMimeData>();
    const QByteArray emf = MakeMetafile(true, rect());
    mime->setData(QStringLiteral("image/x-emf"), emf);
    mime->setData(QStringLiteral("image/emf"), emf);
    mime->setData(QStringLiteral("image/png"), PictureBytes(TPictureFormat::Png));
    mime->setData(QStringLiteral("image/svg+xml"), PictureBytes(TPictureFormat::Svg));
    QGuiApplication::clipboard()->setMimeData(mime.release());
}

void TChart::SetPrintResolution(int percent) {
    if (percent < 0 || percent > 99)
        throw std::out_of_range("The print resolution is a percentage from 0 to 99, not " +
                                std::to_string(percent));
    print_.ResolutionPercent = percent;
}

void TChart::PrintChart(QPrinter& printer) {
    // The printer as set up, its resolution included, which printing leaves as it is.
    const TPrintPlacement place = PlacePrint(size(),
                                             {QSize(printer.width(), printer.height()),
                                              static_cast<double>(printer.logicalDpiX()),
                                              static_cast<double>(printer.logicalDpiY())},
                                             print_);
    if (place.Target.isEmpty())
        throw std::runtime_error("The print margins leave no room for the chart on the page");
    print_.Margins = place.Margins;
    printer.setDocName(objectName());

    // The layout measures its fonts at the screen's resolution: it is drawn at that resolution
    // into a picture, which the printer plays stretched onto the page.
    QPicture picture;
    {
        TOutputScope scope(*this, true);
        QPainter recorder(&picture);
        recorder.setClipRect(place.Logical);
        canvas_.SetIsPrinting(true);
        DrawChart(recorder, place.Logical);
    }
    QPainter painter;
    if (!painter.begin(&printer))
        throw std::runtime_error("The printer could not start the page");
    try {
        painter.scale(place.ScaleX * picture.logicalDpiX() / printer.logicalDpiX(),
                      place.ScaleY * picture.logicalDpiY() / printer.logicalDpiY());
        painter.setClipRect(place.Logical);
        painter.drawPicture(0, 0, picture);
        if (!painter.end())
            throw std::runtime_error("The printer could not finish the page");
    } catch (...) {
        printer.abort();
        if (painter.isActive())
            painter.end();
        throw;
    }
}

} // namespace chart
