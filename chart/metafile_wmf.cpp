// Placeable Windows-metafile records through libUEMF.

#include "chart/metafile_records.h"

#include <QtEndian>

#include <uwmf.h>

#include <iconv.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <utility>

namespace chart {

namespace {

U_COLORREF ColorRef(QColor c) {
    return colorref3_set(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()),
                         static_cast<uint8_t>(c.blue()));
}

// Logical units beyond 16 bits do not occur: the grid is chosen to fit (see TMetafileDevice).
U_POINT16 Point16(QPoint p) {
    return point16_set(static_cast<int16_t>(p.x()), static_cast<int16_t>(p.y()));
}

U_RECT16 Rect16(const QRect& r) {
    return U_RECT16_set(Point16(r.topLeft()),
                        Point16(QPoint(r.left() + r.width(), r.top() + r.height())));
}

// Text in these records is 8-bit: Cyrillic is drawn with the Russian character set, whose bytes
// are Windows code page 1251. A character that page lacks becomes '?', one byte in its place.
class TCp1251 {
public:
    TCp1251() : cd_(iconv_open("CP1251", "UTF-32LE")) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("The system has no converter to code page 1251");
    }
    ~TCp1251() { iconv_close(cd_); }
    TCp1251(const TCp1251&) = delete;
    TCp1251& operator=(const TCp1251&) = delete;

    char Byte(char32_t c) {
        char in[4] = {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF),
                      static_cast<char>((c >> 16) & 0xFF), static_cast<char>(c >> 24)};
        char out[4];
        char* inPtr = in;
        char* outPtr = out;
        size_t inLeft = sizeof in, outLeft = sizeof out;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        const size_t done = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
        return done == static_cast<size_t>(-1) || outPtr - out != 1 ? '?' : out[0];
    }

private:
    iconv_t cd_;
};

// The library counts the placeable header into the size in the metafile's own header, which is
// the size of the metafile without it, in 16-bit words.
void SetMetafileSize(QByteArray& bytes) {
    constexpr qsizetype placeable = 22, sizeField = placeable + 6;
    CheckUemf(bytes.size() >= sizeField + 4, "header");
    qToLittleEndian(static_cast<uint32_t>((bytes.size() - placeable) / 2),
                    bytes.data() + sizeField);
}

class TWmfRecords final : public TObjectRecords {
public:
    TWmfRecords(QSize frame, int dpi, int scale) {
        CheckUemf(wmf_start(file_.Path().c_str(), 1 << 16, 1 << 16, &wt_) == 0, "start");
        CheckUemf(wmf_htable_create(64, 64, &wht_) == 0, "handle table");
        // The placeable header: the picture's size in inches at the screen's dpi, in the units the
        // records draw in, so that its box is the window's extent.
        U_PAIRF* inches = U_PAIRF_set(static_cast<float>(frame.width()) / dpi,
                                      static_cast<float>(frame.height()) / dpi);
        char* header = U_WMRHEADER_set(inches, static_cast<unsigned>(dpi * scale));
        std::free(inches);
        CheckUemf(header != nullptr, "header");
        CheckUemf(wmf_header_append(reinterpret_cast<U_METARECORD*>(header), wt_, 1) == 0,
                  "header");
        Append(U_WMRSETMAPMODE_set(U_MM_ANISOTROPIC), "map mode");
        Append(U_WMRSETWINDOWORG_set(point16_set(0, 0)), "window origin");
        Append(
            U_WMRSETWINDOWEXT_set(Point16(QPoint(frame.width() * scale, frame.height() * scale))),
            "window extent");
        Append(U_WMRSETBKMODE_set(U_TRANSPARENT), "background mode");
        Append(U_WMRSETTEXTALIGN_set(U_TA_BASELINE | U_TA_LEFT), "text alignment");
    }
    ~TWmfRecords() override {
        if (wt_)
            wmf_free(&wt_);
        if (wht_)
            wmf_htable_free(&wht_);
    }

    void Polylines(const std::vector<QPolygon>& lines) override {
        constexpr int longest = 8192;
        for (const QPolygon& line : lines) {
            if (line.size() == 2) {
                Append(U_WMRMOVETO_set(Point16(line[0])), "move");
                Append(U_WMRLINETO_set(Point16(line[1])), "line");
                continue;
            }
            for (int from = 0; from + 1 < line.size(); from += longest - 1) {
                const int count = std::min<int>(longest, static_cast<int>(line.size()) - from);
                std::vector<U_POINT16> points;
                for (int i = from; i < from + count; ++i)
                    points.push_back(Point16(line[i]));
                Append(U_WMRPOLYLINE_set(static_cast<uint16_t>(count), points.data()), "polyline");
            }
        }
    }

    void Rectangle(const QRect& r) override { Append(U_WMRRECTANGLE_set(Rect16(r)), "rectangle"); }

    // The chart's polygons are a few points each, far below a record's limit.
    void Polygon(const QPolygon& polygon) override {
        std::vector<U_POINT16> points;
        for (const QPoint& p : polygon)
            points.push_back(Point16(p));
        Append(U_WMRPOLYGON_set(static_cast<uint16_t>(points.size()), points.data()), "polygon");
    }

    void Text(QPoint origin, const TMetaFont& font, QColor color, const QString& text,
              const std::vector<int>& advances) override {
        PrepareText(font, color);
        // One byte and one advance per character; a surrogate pair's two advances add up.
        std::string bytes;
        std::vector<int16_t> dx;
        for (qsizetype i = 0; i < text.size(); ++i) {
            char32_t c = text[i].unicode();
            int advance = advances[static_cast<size_t>(i)];
            if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
                c = QChar::surrogateToUcs4(text[i], text[i + 1]);
                advance += advances[static_cast<size_t>(++i)];
            }
            bytes.push_back(cp1251_.Byte(c));
            dx.push_back(static_cast<int16_t>(advance));
        }
        const U_RECT16 none{0, 0, -1, -1};
        Append(U_WMREXTTEXTOUT_set(Point16(origin), static_cast<int16_t>(bytes.size()), 0,
                                   bytes.data(), dx.data(), none),
               "text");
    }

    QByteArray Finish() override {
        if (Clipped())
            SetClip(std::nullopt);
        Append(U_WMREOF_set(), "end");
        CheckUemf(wmf_finish(wt_) == 0, "file");
        QByteArray bytes = file_.ReadBack();
        SetMetafileSize(bytes);
        return bytes;
    }

private:
    uint32_t MakePen(const std::optional<TMetaPen>& pen) override {
        const U_PEN logPen =
            pen ? U_PEN_set(U_PS_SOLID, static_cast<uint16_t>(pen->Width), ColorRef(pen->Color))
                : U_PEN_set(U_PS_NULL, 0, ColorRef(Qt::black));
        uint32_t handle = 0;
        Append(wcreatepenindirect_set(&handle, wht_, logPen), "pen");
        return handle;
    }

    uint32_t MakeBrush(const std::optional<QColor>& color) override {
        const U_WLOGBRUSH brush = color ? U_WLOGBRUSH_set(U_BS_SOLID, ColorRef(*color), 0)
                                        : U_WLOGBRUSH_set(U_BS_NULL, ColorRef(Qt::white), 0);
        uint32_t handle = 0;
        Append(wcreatebrushindirect_set(&handle, wht_, brush), "brush");
        return handle;
    }

    uint32_t MakeFont(const TMetaFont& font) override {
        QByteArray face = font.Family.toLatin1();
        U_FONT* logFont = U_FONT_set(
            static_cast<int16_t>(-font.EmHeight), 0, static_cast<int16_t>(font.Escapement),
            static_cast<int16_t>(font.Escapement), static_cast<int16_t>(font.Weight),
            font.Italic ? 1 : 0, 0, 0, U_RUSSIAN_CHARSET, U_OUT_DEFAULT_PRECIS,
            U_CLIP_DEFAULT_PRECIS, U_DEFAULT_QUALITY, U_DEFAULT_PITCH | U_FF_DONTCARE, face.data());
        CheckUemf(logFont != nullptr, "font");
        uint32_t handle = 0;
        char* record = wcreatefontindirect_set(&handle, wht_, logFont);
        std::free(logFont);
        Append(record, "font");
        return handle;
    }

    void SelectObject(uint32_t handle) override {
        Append(wselectobject_set(handle, wht_), "select");
    }
    void SetTextColor(QColor color) override {
        Append(U_WMRSETTEXTCOLOR_set(ColorRef(color)), "text colour");
    }
    void SaveAndClip(const QRect& clip) override {
        Append(U_WMRSAVEDC_set(), "save");
        Append(U_WMRINTERSECTCLIPRECT_set(Rect16(clip)), "clip");
    }
    void Restore() override { Append(U_WMRRESTOREDC_set(-1), "restore"); }

    void Append(char* record, const char* what) {
        CheckUemf(record != nullptr, what);
        CheckUemf(wmf_append(reinterpret_cast<U_METARECORD*>(record), wt_, 1) == 0, what);
    }

    TUemfFile file_;
    WMFTRACK* wt_ = nullptr;
    WMFHANDLES* wht_ = nullptr;
    TCp1251 cp1251_;
};

} // namespace

std::unique_ptr<TRecordSink> MakeWmfRecords(QSize frame, int dpi, int scale) {
    return std::make_unique<TWmfRecords>(frame, dpi, scale);
}

} // namespace chart
