#pragma once
// A paint device that records what a QPainter draws as an enhanced metafile or a placeable
// Windows metafile: lines, rectangles, texts with their fonts, pens and clipping as vector records.

#include <QByteArray>
#include <QPaintDevice>
#include <QSize>

#include <memory>

namespace chart {

enum class TMetafileKind { Enhanced, Windows };

class TMetafileEngine;

class TMetafileDevice : public QPaintDevice {
public:
    // A drawing of `size` pixels of a screen with `dpi` dots per inch, framed as `frame` pixels.
    TMetafileDevice(TMetafileKind kind, QSize size, QSize frame, int dpi);
    ~TMetafileDevice() override;

    QPaintEngine* paintEngine() const override;
    // The file's bytes, once the painter on this device has ended. Throws when the records could
    // not be written.
    QByteArray Bytes();

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    QSize size_;
    int dpi_;
    std::unique_ptr<TMetafileEngine> engine_;
};

} // namespace chart
