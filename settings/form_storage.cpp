#include "settings/form_storage.h"

#include <QWidget>

#include <algorithm>

namespace settings {

QStringList TFormStorage::StoredProps() const {
    QStringList props;
    for (const TStoredProp& prop : StoredProps_)
        props << prop.Text;
    return props;
}

void TFormStorage::SetStoredProps(const QStringList& props) {
    StoredProps_.clear();
    for (const QString& text : props)
        StoredProps_.push_back({text, {}, nullptr});
}

void TFormStorage::Publish(QObject* component, TPublishedProperty property) {
    Published_.push_back({component, std::move(property)});
}

void TFormStorage::Loaded() {
    for (TStoredProp& prop : StoredProps_) {
        const qsizetype point = prop.Text.indexOf(QLatin1Char('.'));
        if (point < 0)
            continue;
        const QString component = prop.Text.left(point).trimmed();
        prop.Property = prop.Text.mid(point + 1).trimmed();
        if (!component.isEmpty() && !prop.Property.isEmpty())
            prop.Component = Owner()->findChild<QObject*>(component);
    }
    std::erase_if(StoredProps_, [](const TStoredProp& prop) { return prop.Component.isNull(); });
    for (const TStoredProp& prop : StoredProps_)
        connect(prop.Component, &QObject::destroyed, this,
                [this](QObject* component) { Forget(component); });
    TFormPlacement::Loaded();
}

void TFormStorage::Forget(QObject* component) {
    std::erase_if(StoredProps_, [component](const TStoredProp& prop) {
        return prop.Component.isNull() || prop.Component == component;
    });
    std::erase_if(Published_,
                  [component](const TPublished& p) { return p.Component == component; });
}

const TFormStorage::TPublished* TFormStorage::Find(const TStoredProp& prop) const {
    const auto found = std::ranges::find_if(Published_, [&prop](const TPublished& p) {
        return p.Component == prop.Component &&
               p.Property.Name.compare(prop.Property, Qt::CaseInsensitive) == 0;
    });
    return found == Published_.end() ? nullptr : &*found;
}

std::string TFormStorage::Key(const TPublished& published) const {
    return (published.Component->objectName() + QLatin1Char('_') + published.Property.Name)
        .toStdString();
}

void TFormStorage::SaveStoredValues(TIniText& ini) {
    for (const TStoredProp& prop : StoredProps_)
        if (const TPublished* published = Find(prop))
            Write(ini, Key(*published), published->Property.Text());
}

// In list order, each through its setter: a control limits the value by its bounds of that
// moment, which an earlier entry may have changed.
void TFormStorage::RestoreStoredValues(const TIniText& ini) {
    for (const TStoredProp& prop : StoredProps_) {
        const TPublished* published = Find(prop);
        if (!published)
            continue;
        try {
            const TPublishedProperty& property = published->Property;
            property.SetText(ini.ReadString(SectionKey(), Key(*published), property.Text()));
        } catch (...) {
            // One property that can't be set doesn't keep the next from being set.
        }
    }
}

} // namespace settings
