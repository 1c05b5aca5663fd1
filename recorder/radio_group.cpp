#include "recorder/radio_group.h"

#include <QRadioButton>
#include <QVBoxLayout>

namespace recorder {

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(6, 0, 2, 0);
    column->setSpacing(0);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        Buttons_.addButton(button, i);
        column->addWidget(button);
    }
}

void TRadioGroup::SetItemIndex(int index) {
    if (QAbstractButton* button = Buttons_.button(index)) {
        button->setChecked(true);
    } else if (QAbstractButton* checked = Buttons_.checkedButton()) {
        // An exclusive group never lets its last checked button go up by itself.
        Buttons_.setExclusive(false);
        checked->setChecked(false);
        Buttons_.setExclusive(true);
    }
}

} // namespace recorder
