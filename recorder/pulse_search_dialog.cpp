#include "recorder/pulse_search_dialog.h"

#include "controls/spin_edit.h"
#include "recorder/radio_group.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace recorder {

namespace {

// The level group's items in the order of its buttons.
constexpr measure::TPulseLevel Levels[] = {measure::TPulseLevel::High, measure::TPulseLevel::Low,
                                           measure::TPulseLevel::Either};

} // namespace

TPulseSearchDialog::TPulseSearchDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("PulseSearchDialog"));
    setWindowTitle(QStringLiteral("Найти импульс"));

    Level_ =
        new TRadioGroup(QStringLiteral("Уровень"),
                        {QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("любой")}, this);
    Level_->setObjectName(QStringLiteral("rgrpPulseLevel"));
    Level_->SetItemIndex(2);

    Limit_ = new QComboBox(this);
    Limit_->setObjectName(QStringLiteral("cmbPulseWidthLimit"));
    Limit_->addItems({QStringLiteral("короче"), QStringLiteral("длиннее")});

    Width_ = new controls::TSpinEdit(this);
    Width_->setObjectName(QStringLiteral("spedPulseWidth"));
    Width_->SetValueType(controls::TSpinEdit::vtFloat);
    Width_->SetDecimal(4);
    Width_->SetIncrement(0.01L);
    Width_->SetMinValue(0);
    // Longer than a loaded file of 500,000 points at the longest sample period.
    Width_->SetMaxValue(1e7L);
    Width_->SetValue(1.0L);
    Width_->setMinimumWidth(90);

    auto* widthRow = new QHBoxLayout;
    widthRow->addWidget(new QLabel(QStringLiteral("Длительность"), this));
    widthRow->addWidget(Limit_);
    widthRow->addWidget(Width_);
    widthRow->addWidget(new QLabel(QStringLiteral("мс"), this));

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* find = buttons->addButton(QStringLiteral("Найти"), QDialogButtonBox::AcceptRole);
    find->setObjectName(QStringLiteral("btnFind"));
    find->setDefault(true);
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* column = new QVBoxLayout(this);
    column->addWidget(Level_);
    column->addLayout(widthRow);
    column->addWidget(buttons);
}

measure::TPulseCriteria TPulseSearchDialog::Criteria() const {
    const long double width = std::clamp(Width_->Value(), Width_->MinValue(), Width_->MaxValue());
    return {.Level = Levels[std::max(Level_->ItemIndex(), 0)],
            .Limit = Limit_->currentIndex() == 1 ? measure::TWidthLimit::Longer
                                                 : measure::TWidthLimit::Shorter,
            .WidthMs = static_cast<double>(width)};
}

} // namespace recorder
