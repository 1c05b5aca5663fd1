#pragma once
// The pulse figures as the operator reads them: a name and a value a line, in ms and Hz with the
// locale's decimal separator, "—" where the trace gives no value.

#include "measure/pulse_statistics.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <utility>
#include <vector>

class QLabel;
class QPushButton;

namespace recorder {

// The figures' names (with their units) and values, in the order shown and copied.
std::vector<std::pair<QString, QString>>
StatisticsRows(const measure::TPulseStatistics& statistics);

// The rows as the clipboard gets them: name, tab, value, one figure a line.
QString StatisticsText(const std::vector<std::pair<QString, QString>>& rows);

// The panel's contents: what the figures cover, the figures, a button that copies them, and
// while a recording is shown one that counts the whole of it.
class TStatisticsPanel : public QWidget {
public:
    explicit TStatisticsPanel(QWidget* parent);
    // `scope` says what the figures cover when it is not the trace or t1 .. t2.
    void Show(const measure::TPulseStatistics& statistics, const QString& scope = {});
    // No figures, and why.
    void ShowNone(const QString& reason);
    void OfferWholeRecording(bool offered);

    std::function<void()> OnWholeRecording;

private:
    QLabel* scope_;
    QPushButton* wholeRecording_;
    std::vector<QLabel*> values_;
    QString text_;
};

} // namespace recorder
