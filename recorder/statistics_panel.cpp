#include "recorder/statistics_panel.h"

#include "numbers/number_format.h"

#include <QApplication>
#include <QClipboard>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace recorder {

namespace {

const QString NoValue = QStringLiteral("—");

QString Figure(std::optional<double> value) {
    return value ? numbers::FormatGeneral(*value, 6) : NoValue;
}

void AddDurations(std::vector<std::pair<QString, QString>>& rows, const QString& name,
                  const measure::TDurations& durations) {
    const auto some = [&](double value) {
        return durations.Count == 0 ? std::nullopt : std::optional<double>(value);
    };
    rows.emplace_back(name + QStringLiteral(" мин, мс"), Figure(some(durations.Min)));
    rows.emplace_back(name + QStringLiteral(" сред, мс"), Figure(durations.Mean()));
    rows.emplace_back(name + QStringLiteral(" макс, мс"), Figure(some(durations.Max)));
}

} // namespace

std::vector<std::pair<QString, QString>> StatisticsRows(const measure::TPulseStatistics& s) {
    std::vector<std::pair<QString, QString>> rows;
    rows.emplace_back(QStringLiteral("Фронты"), QString::number(s.RisingEdges));
    rows.emplace_back(QStringLiteral("Спады"), QString::number(s.FallingEdges));
    AddDurations(rows, QStringLiteral("Период"), s.Period);
    rows.emplace_back(QStringLiteral("Частота, Гц"), Figure(s.Frequency()));
    const auto duty = s.Duty();
    rows.emplace_back(QStringLiteral("Заполнение, %"),
                      Figure(duty ? std::optional<double>(*duty * 100) : std::nullopt));
    AddDurations(rows, QStringLiteral("Длительность 1"), s.High);
    AddDurations(rows, QStringLiteral("Длительность 0"), s.Low);
    return rows;
}

QString StatisticsText(const std::vector<std::pair<QString, QString>>& rows) {
    QString text;
    for (const auto& [name, value] : rows)
        text += name + u'\t' + value + u'\n';
    return text;
}

TStatisticsPanel::TStatisticsPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("StatisticsPanel"));
    setToolTip(QStringLiteral(
        "По всей записи или между маркерами t1 и t2, когда они показаны и не совпадают.\n"
        "Период — от фронта до следующего фронта. Импульс, обрезанный началом или концом\n"
        "участка, в длительностях не учитывается."));
    auto* grid = new QGridLayout(this);
    scope_ = new QLabel(this);
    scope_->setObjectName(QStringLiteral("StatisticsScope"));
    scope_->setWordWrap(true);
    scope_->hide();
    grid->addWidget(scope_, 0, 0, 1, 2);
    const auto rows = StatisticsRows({});
    for (int r = 1; r <= static_cast<int>(rows.size()); ++r) {
        grid->addWidget(new QLabel(rows[static_cast<std::size_t>(r - 1)].first, this), r, 0);
        auto* value = new QLabel(this);
        value->setObjectName(QStringLiteral("StatisticsValue%1").arg(r));
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(value, r, 1);
        values_.push_back(value);
    }
    const int below = static_cast<int>(rows.size()) + 1;
    auto* copy = new QPushButton(QStringLiteral("Копировать"), this);
    copy->setObjectName(QStringLiteral("btnCopyStatistics"));
    grid->addWidget(copy, below, 0, 1, 2);
    wholeRecording_ = new QPushButton(QStringLiteral("По всей записи"), this);
    wholeRecording_->setObjectName(QStringLiteral("btnWholeRecordingStatistics"));
    wholeRecording_->setToolTip(
        QStringLiteral("Посчитать по всем отсчётам записи (один проход по файлу)"));
    wholeRecording_->hide();
    grid->addWidget(wholeRecording_, below + 1, 0, 1, 2);
    grid->setRowStretch(below + 2, 1);
    connect(copy, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(text_); });
    connect(wholeRecording_, &QPushButton::clicked, this, [this] {
        if (OnWholeRecording)
            OnWholeRecording();
    });
    Show({});
}

void TStatisticsPanel::Show(const measure::TPulseStatistics& statistics, const QString& scope) {
    scope_->setText(scope);
    scope_->setVisible(!scope.isEmpty());
    const auto rows = StatisticsRows(statistics);
    for (std::size_t r = 0; r < rows.size(); ++r)
        values_[r]->setText(rows[r].second);
    text_ = (scope.isEmpty() ? QString() : scope + u'\n') + StatisticsText(rows);
}

void TStatisticsPanel::ShowNone(const QString& reason) {
    scope_->setText(reason);
    scope_->setVisible(true);
    for (QLabel* value : values_)
        value->setText(NoValue);
    text_ = reason + u'\n';
}

void TStatisticsPanel::OfferWholeRecording(bool offered) {
    wholeRecording_->setVisible(offered);
}

} // namespace recorder
