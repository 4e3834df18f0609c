#pragma once
// Services for Form1 in widget tests. The management layer answers domains and disks from tables
// set by the test and binds folder monikers through the real Linux layer, writing each moniker
// into a shared log: every folder read leaves exactly one line there, so the tests count reads
// and see which path each read used.

#include "app/form1.h"
#include "tests/common/temp_folder.h"
#include "tests/export/recording_application.h"

namespace permscope::app::testing {

struct StandInDisk {
    platform::PropertyValue drivetype;
    platform::PropertyValue caption;
};

struct StandInManagementSetup {
    std::vector<platform::PropertyValue> domains;  // DnsForestName of each Win32_NTDomain
    std::vector<StandInDisk> disks;                // Win32_LogicalDisk
    bool locator_fails = false;
    bool connection_fails = false;
};

// The moniker of a local folder read.
std::string file_moniker(const std::string& path);

// True while the application shows the busy pointer.
bool busy_pointer_shown();

// A directory that cannot be reached: an LDAP provider pointed at a closed port on 127.0.0.1.
std::unique_ptr<directory::DirectoryProvider> unreachable_directory();

// The whole set for one window; the logs stay readable after the window takes the services.
struct TestServices {
    std::shared_ptr<std::vector<std::string>> monikers =
        std::make_shared<std::vector<std::string>>();
    std::shared_ptr<std::vector<bool>> busy_at_reads = std::make_shared<std::vector<bool>>();
    // Records each automation call of the export, and "busy" when the busy pointer shows as
    // the application is created; owned by the window once made.
    spreadsheet::testing::RecordingFactory* spreadsheet = nullptr;
    StandInManagementSetup management;
    std::vector<DriveEntry> drives;
    std::unique_ptr<directory::DirectoryProvider> directory;  // unreachable when not set

    Form1Services make();
};

using permscope::testing::TempFolder;

// Changes the process's current folder for one scope.
class CurrentFolder {
  public:
    explicit CurrentFolder(const std::string& path);
    ~CurrentFolder();

  private:
    std::string saved_;
};

}  // namespace permscope::app::testing
