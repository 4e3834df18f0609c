#include "app/drive_list.h"

#include <QSignalBlocker>

namespace permscope::app {

namespace {

// True when folder is mount_point or lies below it ("/media/stick2" is not below "/media/stick").
bool lies_in(const QString& folder, const QString& mount_point) {
    if (mount_point == QLatin1String("/"))
        return folder.startsWith(QLatin1Char('/'));
    if (folder == mount_point)
        return true;
    return folder.startsWith(mount_point) && folder.at(mount_point.size()) == QLatin1Char('/');
}

}  // namespace

DriveList::DriveList(QWidget* parent) : NamedComboBox(parent) {
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
    const QSignalBlocker quiet(this);
    setCurrentIndex(volume_index_of(entries_, folder));
}

QString DriveList::mount_point() const {
    return currentIndex() < 0 ? QString() : currentData().toString();
}

}  // namespace permscope::app
