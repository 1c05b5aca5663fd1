#pragma once
// A TFormPlacement that also keeps properties of the window's components: StoredProps lists
// them as "Component.Property", in the order they are saved and restored. A save writes each
// under the key "Component_Property"; a restore sets each through the component's own setter,
// with its current value where the file has none. The owner publishes the properties that may
// be stored (Publish); Loaded() then resolves the list against the components the window owns
// and drops entries that name none. An entry whose component is destroyed goes too.

#include "settings/form_placement.h"
#include "settings/published_property.h"

#include <QPointer>
#include <QStringList>

#include <vector>

namespace settings {

class TFormStorage : public TFormPlacement {
    Q_OBJECT

public:
    using TFormPlacement::TFormPlacement;

    QStringList StoredProps() const;
    void SetStoredProps(const QStringList& props);

    // Makes a property of a component storable. Call before Loaded().
    void Publish(QObject* component, TPublishedProperty property);

    void Loaded() override;

protected:
    void SaveStoredValues(TIniText& ini) override;
    void RestoreStoredValues(const TIniText& ini) override;

private:
    struct TStoredProp {
        QString Text; // as listed
        QString Property;
        QPointer<QObject> Component;
    };
    struct TPublished {
        QObject* Component;
        TPublishedProperty Property;
    };

    // The published property that a resolved entry names, or nothing.
    const TPublished* Find(const TStoredProp& prop) const;
    std::string Key(const TPublished& published) const;
    void Forget(QObject* component);

    std::vector<TStoredProp> StoredProps_;
    std::vector<TPublished> Published_;
};

} // namespace settings
