#pragma once
// TRadioGroup: the window's framed groups of radio buttons.

#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>

namespace recorder {

// A framed caption over a column of radio buttons, one per item; ItemIndex is the chosen one
// (-1 for none).
class TRadioGroup : public QGroupBox {
public:
    TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent = nullptr);

    int ItemIndex() const { return Buttons_.checkedId(); }
    void SetItemIndex(int index);

private:
    QButtonGroup Buttons_;
};

} // namespace recorder
