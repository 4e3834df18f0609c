// The services the program runs with: the Linux management layer, the LDAP directory, the
// desktop's spreadsheet program and the mounted volumes.

#include "app/form1.h"
#include "directory/ldap_provider.h"
#include "export/excel_export.h"
#include "platform/linux_management.h"
#include "platform/volumes.h"

namespace permscope::app {

namespace {

std::vector<DriveEntry> mounted_drives() {
    std::vector<DriveEntry> drives;
    for (const platform::Volume& volume : platform::list_volumes())
        drives.push_back(DriveEntry{QString::fromStdString(platform::drive_list_entry_text(volume)),
                                    QString::fromStdString(volume.mount_point)});
    return drives;
}

}  // namespace

Form1Services make_linux_services() {
    Form1Services services;
    services.management = platform::make_linux_management();
    services.directory = directory::make_ldap_directory_provider();
    services.spreadsheet = spreadsheet::make_desktop_spreadsheet_factory();
    services.drives = mounted_drives;
    return services;
}

}  // namespace permscope::app
