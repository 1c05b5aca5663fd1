#pragma once
// The question of "Найти импульс…": which level, shorter or longer than what width.

#include "measure/pulse_search.h"

#include <QDialog>

class QComboBox;

namespace controls {
class TSpinEdit;
} // namespace controls

namespace recorder {

class TRadioGroup;

// Kept by the window from one search to the next, so that it opens with the last criteria.
class TPulseSearchDialog : public QDialog {
public:
    explicit TPulseSearchDialog(QWidget* parent);
    // What the fields say now; the width clamped to the field's limits.
    measure::TPulseCriteria Criteria() const;

private:
    TRadioGroup* Level_ = nullptr;
    QComboBox* Limit_ = nullptr;
    controls::TSpinEdit* Width_ = nullptr;
};

} // namespace recorder
