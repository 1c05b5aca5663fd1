// The settings that survive from one run to the next: the sweep mode, the sweep duration and the
// sample period, with the window's placement, kept by FormStorage1.

#include "recorder/main_form.h"

#include "controls/spin_edit.h"
#include "recorder/radio_group.h"
#include "settings/form_storage.h"
#include "settings/value_text.h"

#include <QAction>
#include <QComboBox>

namespace recorder {

void TMainForm::WireStorage() {
    FormStorage1 = new settings::TFormStorage(this);
    FormStorage1->setObjectName(QStringLiteral("FormStorage1"));

    // A recording takes every index but 0 for a periodic sweep; an index the group has no item
    // for (a file from elsewhere, a hand edit) shows, and is saved as, the periodic sweep.
    TRadioGroup* group = rgrpDeflectOptions;
    FormStorage1->Publish(group,
                          settings::IntegerProperty(
                              QStringLiteral("ItemIndex"), [group] { return group->ItemIndex(); },
                              [group](int index) { group->SetItemIndex(index == 0 ? 0 : 1); }));
    for (controls::TSpinEdit* edit : {spedDeflectTime, spedSamplePeriod})
        FormStorage1->Publish(edit, settings::FloatProperty(
                                        QStringLiteral("Value"), settings::ExtendedDigits,
                                        [edit] { return edit->Value(); },
                                        [edit](long double value) { edit->SetValue(value); }));

    QComboBox* trigger = cmbTrigger;
    FormStorage1->Publish(trigger, settings::IntegerProperty(
                                       QStringLiteral("ItemIndex"),
                                       [trigger] { return trigger->currentIndex(); },
                                       [trigger](int index) {
                                           if (index >= 0 && index < trigger->count())
                                               trigger->setCurrentIndex(index);
                                       }));
    QAction* statistics = actViewStatistics;
    FormStorage1->Publish(statistics,
                          settings::IntegerProperty(
                              QStringLiteral("Checked"),
                              [statistics] { return statistics->isChecked() ? 1 : 0; },
                              [statistics](int on) { statistics->setChecked(on != 0); }));

    // Restored in this order: the duration is limited by the maximum that the window's creation
    // derived from the initial sample period, before the stored sample period arrives.
    FormStorage1->SetStoredProps(
        {QStringLiteral("rgrpDeflectOptions.ItemIndex"), QStringLiteral("spedDeflectTime.Value"),
         QStringLiteral("spedSamplePeriod.Value"),
         // Added later, so written after the keys above.
         QStringLiteral("cmbTrigger.ItemIndex"), QStringLiteral("actViewStatistics.Checked")});
    FormStorage1->Loaded();
}

} // namespace recorder
