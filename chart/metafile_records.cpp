#include "chart/metafile_records.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <unistd.h>

namespace chart {

namespace {

std::mutex& UemfLock() {
    static std::mutex lock;
    return lock;
}

} // namespace

TUemfFile::TUemfFile() {
    UemfLock().lock();
    std::string pattern =
        (QDir::tempPath() + QStringLiteral("/talvir-metafile-XXXXXX")).toStdString();
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
        const int error = errno;
        UemfLock().unlock();
        throw std::runtime_error(std::string("No temporary file for the metafile: ") +
                                 std::strerror(error));
    }
    close(fd);
    path_ = pattern;
}

TUemfFile::~TUemfFile() {
    unlink(path_.c_str());
    UemfLock().unlock();
}

QByteArray TUemfFile::ReadBack() const {
    QFile file(QString::fromStdString(path_));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("The metafile could not be read back: " +
                                 file.errorString().toStdString());
    return file.readAll();
}

void CheckUemf(bool ok, const char* what) {
    if (!ok)
        throw std::runtime_error(std::string("The metafile could not be written (") + what + ")");
}

template <class Key, class Make>
void TObjectRecords::Select(TObjects<Key>& objects, std::optional<Key>& selected, const Key& key,
                            Make make) {
    if (selected && *selected == key)
        return;
    const auto found = std::find_if(objects.begin(), objects.end(),
                                    [&](const auto& entry) { return entry.first == key; });
    const uint32_t handle = found != objects.end() ? found->second : make();
    if (found == objects.end())
        objects.emplace_back(key, handle);
    SelectObject(handle);
    selected = key;
}

void TObjectRecords::SetPen(const std::optional<TMetaPen>& pen) {
    Select(pens_, pen_, pen, [&] { return MakePen(pen); });
}

void TObjectRecords::SetBrush(const std::optional<QColor>& color) {
    Select(brushes_, brush_, color, [&] { return MakeBrush(color); });
}

void TObjectRecords::PrepareText(const TMetaFont& font, QColor color) {
    Select(fonts_, font_, font, [&] { return MakeFont(font); });
    if (textColor_ != color) {
        SetTextColor(color);
        textColor_ = color;
    }
}

void TObjectRecords::SetClip(const std::optional<QRect>& clip) {
    if (clipped_) {
        Restore();
        pen_.reset();
        brush_.reset();
        font_.reset();
        textColor_.reset();
    }
    clipped_ = clip.has_value();
    if (clip)
        SaveAndClip(*clip);
}

} // namespace chart
