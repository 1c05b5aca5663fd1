#pragma once
// The record writers behind the metafile paint engine: one for enhanced metafiles, one for
// placeable Windows metafiles, both over libUEMF. Coordinates are logical units of a grid `scale`
// times finer than the screen's pixels, so glyph advances and font heights keep their fractions.

#include <QByteArray>
#include <QColor>
#include <QPoint>
#include <QPolygon>
#include <QRect>
#include <QSize>
#include <QString>

#include <cstdint>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace chart {

struct TMetaPen {
    QColor Color;
    int Width = 1; // logical units
    bool operator==(const TMetaPen&) const = default;
};

struct TMetaFont {
    QString Family;
    int EmHeight = 0; // logical units
    int Weight = 400; // 100 .. 900
    bool Italic = false;
    int Escapement = 0; // tenths of a degree, counter-clockwise
    bool operator==(const TMetaFont&) const = default;
};

// Solid pens only: the engine turns dashes and dots into separate segments, which every reader
// draws alike. Objects are created once and reused by value; clipping is one rectangle.
class TRecordSink {
public:
    virtual ~TRecordSink() = default;
    virtual void SetPen(const std::optional<TMetaPen>& pen) = 0;
    virtual void SetBrush(const std::optional<QColor>& color) = 0;
    // Right and bottom are the first units outside.
    virtual void SetClip(const std::optional<QRect>& clip) = 0;
    // Each polyline has two points or more.
    virtual void Polylines(const std::vector<QPolygon>& lines) = 0;
    // Outlined with the pen and filled with the brush; right and bottom are the first units
    // outside.
    virtual void Rectangle(const QRect& r) = 0;
    // Outlined with the pen and filled with the brush, closed from the last point to the first.
    virtual void Polygon(const QPolygon& points) = 0;
    // `origin` is the start of the base line; `advances` are per UTF-16 unit.
    virtual void Text(QPoint origin, const TMetaFont& font, QColor color, const QString& text,
                      const std::vector<int>& advances) = 0;
    // Ends the recording and gives the file's bytes.
    virtual QByteArray Finish() = 0;
};

// `frame` is the picture's size in screen pixels at `dpi`, `scale` logical units a pixel.
std::unique_ptr<TRecordSink> MakeEmfRecords(QSize frame, int dpi, int scale);
std::unique_ptr<TRecordSink> MakeWmfRecords(QSize frame, int dpi, int scale);

// libUEMF writes a metafile to a named file and keeps process-wide state: one recording at a
// time, into a private temporary file whose bytes are then read back.
class TUemfFile {
public:
    TUemfFile();
    ~TUemfFile();
    TUemfFile(const TUemfFile&) = delete;
    TUemfFile& operator=(const TUemfFile&) = delete;
    const std::string& Path() const { return path_; }
    QByteArray ReadBack() const;

private:
    std::string path_;
};

// Throws for a record the library could not make (null) or append (non-zero status).
void CheckUemf(bool ok, const char* what);

// What both writers share: objects made once for each pen, brush and font and selected only on a
// change, text colour likewise, and a clip as a saved state with one rectangle, whose restore
// brings back the selection of the save.
class TObjectRecords : public TRecordSink {
public:
    void SetPen(const std::optional<TMetaPen>& pen) final;
    void SetBrush(const std::optional<QColor>& color) final;
    void SetClip(const std::optional<QRect>& clip) final;

protected:
    // Selects the font and sets the text colour, as far as they change.
    void PrepareText(const TMetaFont& font, QColor color);
    bool Clipped() const { return clipped_; }

    // Each makes the object and returns its handle.
    virtual uint32_t MakePen(const std::optional<TMetaPen>& pen) = 0;
    virtual uint32_t MakeBrush(const std::optional<QColor>& color) = 0;
    virtual uint32_t MakeFont(const TMetaFont& font) = 0;
    virtual void SelectObject(uint32_t handle) = 0;
    virtual void SetTextColor(QColor color) = 0;
    virtual void SaveAndClip(const QRect& clip) = 0;
    virtual void Restore() = 0;

private:
    template <class Key> using TObjects = std::vector<std::pair<Key, uint32_t>>;
    template <class Key, class Make>
    void Select(TObjects<Key>& objects, std::optional<Key>& selected, const Key& key, Make make);

    TObjects<std::optional<TMetaPen>> pens_;
    TObjects<std::optional<QColor>> brushes_;
    TObjects<TMetaFont> fonts_;
    std::optional<std::optional<TMetaPen>> pen_;
    std::optional<std::optional<QColor>> brush_;
    std::optional<TMetaFont> font_;
    std::optional<QColor> textColor_;
    bool clipped_ = false;
};

} // namespace chart
