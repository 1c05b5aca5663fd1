#pragma once
// The pulse figures as the operator reads them: a name and a value a line, in ms and Hz with the
// locale's decimal separator, "—" where the trace gives no value.

#include "measure/pulse_statistics.h"

#include <QString>
#include <QWidget>

#include <utility>
#include <vector>

class QLabel;

namespace recorder {

// The figures' names (with their units) and values, in the order shown and copied.
std::vector<std::pair<QString, QString>>
StatisticsRows(const measure::TPulseStatistics& statistics);

// The rows as the clipboard gets them: name, tab, value, one figure a line.
QString StatisticsText(const std::vector<std::pair<QString, QString>>& rows);

// The panel's contents: the figures and a button that copies them.
class TStatisticsPanel : public QWidget {
public:
    explicit TStatisticsPanel(QWidget* parent);
    void Show(const measure::TPulseStatistics& statistics);

private:
    std::vector<QLabel*> values_;
    QString text_;
};

} // namespace recorder
