#pragma once
// Drive1, the drive list: one entry per mounted volume, "mount point [label]" as the platform
// layer words it. Each entry carries its mount point, which is what choosing the entry opens.

#include <QString>
#include <vector>

#include "app/controls.h"

namespace permscope::app {

struct DriveEntry {
    QString text;         // as shown: "/ [vda1]", "/media/stick [DATA]"
    QString mount_point;  // "/", "/media/stick"
};

class DriveList : public NamedComboBox {
    Q_OBJECT

  public:
    explicit DriveList(QWidget* parent = nullptr);

    // Replaces the entries without announcing a change of drive.
    void set_entries(const std::vector<DriveEntry>& entries);
    // Makes the volume that holds folder the current entry, without announcing a change: the
    // entry with the longest mount point that folder lies in; no entry when none holds it.
    void select_volume_of(const QString& folder);
    // The current entry's mount point; empty when the list is empty.
    QString mount_point() const;

    // The index of the entry whose volume holds folder, or -1.
    static int volume_index_of(const std::vector<DriveEntry>& entries, const QString& folder);

  signals:
    // The user chose another drive.
    void Change();

  private:
    std::vector<DriveEntry> entries_;
};

}  // namespace permscope::app
