// Enhanced-metafile records through libUEMF.

#include "chart/metafile_records.h"

#include <uemf.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <utility>

namespace chart {

namespace {

U_COLORREF ColorRef(QColor c) {
    return colorref3_set(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()),
                         static_cast<uint8_t>(c.blue()));
}

U_RECTL Rectl(const QRect& r) {
    // Right and bottom are the first units outside, as the rectangle records take them.
    return rectl_set(point32_set(r.left(), r.top()),
                     point32_set(r.left() + r.width(), r.top() + r.height()));
}

// Logical units beyond 16 bits do not occur: the grid is chosen to fit (see TMetafileDevice).
U_POINT16 Point16(QPoint p) {
    return point16_set(static_cast<int16_t>(p.x()), static_cast<int16_t>(p.y()));
}

class TEmfRecords final : public TObjectRecords {
public:
    TEmfRecords(QSize frame, int dpi, int scale) : scale_(scale) {
        CheckUemf(emf_start(file_.Path().c_str(), 1 << 16, 1 << 16, &et_) == 0, "start");
        CheckUemf(emf_htable_create(64, 64, &eht_) == 0, "handle table");
        // The reference device has the screen's pixels; the frame is in 0.01 mm.
        const auto hundredthsOfMm = [dpi](int pixels) {
            return static_cast<int32_t>(std::lround(pixels * 2540.0 / dpi));
        };
        const U_RECTL bounds =
            rectl_set(point32_set(0, 0), point32_set(frame.width(), frame.height()));
        const U_RECTL rclFrame =
            rectl_set(point32_set(0, 0),
                      point32_set(hundredthsOfMm(frame.width()), hundredthsOfMm(frame.height())));
        Append(U_EMRHEADER_set(bounds, rclFrame, nullptr, 0, nullptr, sizel_set(dpi * 10, dpi * 10),
                               sizel_set(254, 254), 0),
               "header");
        Append(U_EMRSETMAPMODE_set(U_MM_ANISOTROPIC), "map mode");
        Append(U_EMRSETWINDOWORGEX_set(point32_set(0, 0)), "window origin");
        Append(U_EMRSETWINDOWEXTEX_set(sizel_set(frame.width() * scale, frame.height() * scale)),
               "window extent");
        Append(U_EMRSETVIEWPORTORGEX_set(point32_set(0, 0)), "viewport origin");
        Append(U_EMRSETVIEWPORTEXTEX_set(sizel_set(frame.width(), frame.height())),
               "viewport extent");
        Append(U_EMRSETBKMODE_set(U_TRANSPARENT), "background mode");
        Append(U_EMRSETTEXTALIGN_set(U_TA_BASELINE | U_TA_LEFT), "text alignment");
    }
    ~TEmfRecords() override {
        if (et_)
            emf_free(&et_);
        if (eht_)
            emf_htable_free(&eht_);
    }

    void Polylines(const std::vector<QPolygon>& lines) override {
        std::vector<uint32_t> counts;
        std::vector<U_POINT16> points;
        QRect box;
        for (const QPolygon& line : lines) {
            counts.push_back(static_cast<uint32_t>(line.size()));
            for (const QPoint& p : line)
                points.push_back(Point16(p));
            box |= line.boundingRect();
        }
        Append(U_EMRPOLYPOLYLINE16_set(DeviceBounds(box), static_cast<uint32_t>(counts.size()),
                                       counts.data(), static_cast<uint32_t>(points.size()),
                                       points.data()),
               "poly-polyline");
    }

    void Rectangle(const QRect& r) override { Append(U_EMRRECTANGLE_set(Rectl(r)), "rectangle"); }

    void Polygon(const QPolygon& polygon) override {
        std::vector<U_POINT16> points;
        for (const QPoint& p : polygon)
            points.push_back(Point16(p));
        Append(U_EMRPOLYGON16_set(DeviceBounds(polygon.boundingRect()),
                                  static_cast<uint32_t>(points.size()), points.data()),
               "polygon");
    }

    void Text(QPoint origin, const TMetaFont& font, QColor color, const QString& text,
              const std::vector<int>& advances) override {
        PrepareText(font, color);
        std::vector<uint32_t> dx(advances.begin(), advances.end());
        std::u16string utf16(reinterpret_cast<const char16_t*>(text.utf16()),
                             static_cast<size_t>(text.size()));
        const U_RECTL none{0, 0, -1, -1};
        char* body =
            emrtext_set(point32_set(origin.x(), origin.y()), static_cast<U_NUM_STR>(utf16.size()),
                        2, utf16.data(), U_ETO_NONE, none, dx.data());
        CheckUemf(body != nullptr, "text");
        char* record = U_EMREXTTEXTOUTW_set(none, U_GM_COMPATIBLE, 1.0f, 1.0f,
                                            reinterpret_cast<PU_EMRTEXT>(body));
        std::free(body);
        Append(record, "text");
    }

    QByteArray Finish() override {
        if (Clipped())
            SetClip(std::nullopt);
        Append(U_EMREOF_set(0, nullptr, et_), "end");
        CheckUemf(emf_finish(et_, eht_) == 0, "file");
        return file_.ReadBack();
    }

private:
    uint32_t MakePen(const std::optional<TMetaPen>& pen) override {
        const U_LOGPEN logPen =
            pen ? logpen_set(U_PS_SOLID, point32_set(pen->Width, 0), ColorRef(pen->Color))
                : logpen_set(U_PS_NULL, point32_set(0, 0), ColorRef(Qt::black));
        uint32_t handle = 0;
        Append(createpen_set(&handle, eht_, logPen), "pen");
        return handle;
    }

    uint32_t MakeBrush(const std::optional<QColor>& color) override {
        const U_LOGBRUSH brush = color ? logbrush_set(U_BS_SOLID, ColorRef(*color), 0)
                                       : logbrush_set(U_BS_NULL, ColorRef(Qt::white), 0);
        uint32_t handle = 0;
        Append(createbrushindirect_set(&handle, eht_, brush), "brush");
        return handle;
    }

    uint32_t MakeFont(const TMetaFont& font) override {
        std::u16string face = font.Family.left(U_LF_FACESIZE - 1).toStdU16String();
        face.push_back(u'\0');
        const U_LOGFONT logFont = logfont_set(
            -font.EmHeight, 0, font.Escapement, font.Escapement, font.Weight, font.Italic ? 1 : 0,
            0, 0, U_DEFAULT_CHARSET, U_OUT_DEFAULT_PRECIS, U_CLIP_DEFAULT_PRECIS, U_DEFAULT_QUALITY,
            U_DEFAULT_PITCH | U_FF_DONTCARE, reinterpret_cast<uint16_t*>(face.data()));
        uint32_t handle = 0;
        Append(extcreatefontindirectw_set(&handle, eht_, reinterpret_cast<const char*>(&logFont),
                                          nullptr),
               "font");
        return handle;
    }

    void SelectObject(uint32_t handle) override {
        Append(selectobject_set(handle, eht_), "select");
    }
    void SetTextColor(QColor color) override {
        Append(U_EMRSETTEXTCOLOR_set(ColorRef(color)), "text colour");
    }
    void SaveAndClip(const QRect& clip) override {
        Append(U_EMRSAVEDC_set(), "save");
        Append(U_EMRINTERSECTCLIPRECT_set(Rectl(clip)), "clip");
    }
    void Restore() override { Append(U_EMRRESTOREDC_set(-1), "restore"); }

    void Append(char* record, const char* what) {
        CheckUemf(record != nullptr, what);
        CheckUemf(emf_append(reinterpret_cast<PU_ENHMETARECORD>(record), et_, 1) == 0, what);
    }

    U_RECTL DeviceBounds(const QRect& logical) const {
        return rectl_set(point32_set(logical.left() / scale_, logical.top() / scale_),
                         point32_set(logical.right() / scale_, logical.bottom() / scale_));
    }

    TUemfFile file_;
    EMFTRACK* et_ = nullptr;
    EMFHANDLES* eht_ = nullptr;
    int scale_;
};

} // namespace

std::unique_ptr<TRecordSink> MakeEmfRecords(QSize frame, int dpi, int scale) {
    return std::make_unique<TEmfRecords>(frame, dpi, scale);
}

} // namespace chart
