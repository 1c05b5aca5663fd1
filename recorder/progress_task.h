#pragma once
// A pass over a recording that may take seconds (a statistics pass, an export, a search over a
// day), run off the window thread: the window keeps repainting, and a progress dialog with
// "Отмена" shows when the pass takes longer than a moment.
//
// Threading: `work` runs on a thread of its own and must touch nothing of the window; it gets
// the cancel flag and the progress callback to pass on to the capture calls. The call returns on
// the window thread once `work` has ended; an exception `work` threw is thrown again there.

#include "capture/search.h"

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace recorder {

// Whether `work` ran to its end: false when the operator cancelled it.
bool RunWithProgress(QWidget* parent, const QString& label,
                     const std::function<void(const capture::TScanControl&)>& work);

// `work`'s result, none when the operator cancelled it or `work` gave none.
template <typename Result>
std::optional<Result> RunWithProgress(
    QWidget* parent, const QString& label,
    const std::function<std::optional<Result>(const capture::TScanControl&)>& work) {
    std::optional<Result> result;
    if (!RunWithProgress(parent, label,
                         [&](const capture::TScanControl& control) { result = work(control); }))
        return std::nullopt;
    return result;
}

} // namespace recorder
