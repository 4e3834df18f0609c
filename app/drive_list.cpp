#include "app/drive_list.h"

#include <QAccessibleWidget>
#include <QSignalBlocker>

namespace permscope::app {

namespace {

// Qt names a combo box on Linux by its current text. The drive list is named "Drive" like every
// other control and carries the chosen entry as its value, so assistive technology finds it by
// name whatever drive is chosen.
class DriveListAccessible : public QAccessibleWidget {
  public:
    explicit DriveListAccessible(QWidget* widget)
        : QAccessibleWidget(widget, QAccessible::ComboBox) {}

    QString text(QAccessible::Text kind) const override {
        const auto* list = static_cast<const QComboBox*>(widget());
        if (kind == QAccessible::Name)
            return list->accessibleName();
        if (kind == QAccessible::Value)
            return list->currentText();
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* drive_list_accessible(const QString& class_name, QObject* object) {
    if (class_name == QLatin1String(DriveList::staticMetaObject.className()) && object &&
        object->isWidgetType())
        return new DriveListAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

// True when folder is mount_point or lies below it ("/media/stick2" is not below "/media/stick").
bool lies_in(const QString& folder, const QString& mount_point) {
    if (mount_point == QLatin1String("/"))
        return folder.startsWith(QLatin1Char('/'));
    if (folder == mount_point)
        return true;
    return folder.startsWith(mount_point) && folder.at(mount_point.size()) == QLatin1Char('/');
}

}  // namespace

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
    static const bool factory_installed = [] {
        QAccessible::installFactory(drive_list_accessible);
        return true;
    }();
    (void)factory_installed;
    connect(this, &QComboBox::currentIndexChanged, this, [this](int) { emit Change(); });
}

void DriveList::set_entries(const std::vector<DriveEntry>& entries) {
    const QSignalBlocker quiet(this);
    clear();
    entries_ = entries;
    for (const DriveEntry& entry : entries_)
        addItem(entry.text, entry.mount_point);
}

int DriveList::volume_index_of(const std::vector<DriveEntry>& entries, const QString& folder) {
    int best = -1;
    qsizetype best_length = -1;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const QString& mount = entries[i].mount_point;
        if (lies_in(folder, mount) && mount.size() > best_length) {
            best = static_cast<int>(i);
            best_length = mount.size();
        }
    }
    return best;
}

void DriveList::select_volume_of(const QString& folder) {
    const int index = volume_index_of(entries_, folder);
    if (index < 0)
        return;
    const QSignalBlocker quiet(this);
    setCurrentIndex(index);
}

QString DriveList::mount_point() const {
    return currentIndex() < 0 ? QString() : currentData().toString();
}

}  // namespace permscope::app
