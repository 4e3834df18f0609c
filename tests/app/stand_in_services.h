#pragma once
// Services for Form1 in widget tests. The management layer answers domains and disks from tables
// set by the test and binds folder monikers through the real Linux layer, writing each moniker
// into a shared log: every folder read leaves exactly one line there, so the tests count reads
// and see which path each read used.

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/form1.h"
#include "platform/management.h"
#include "tests/export/recording_application.h"

namespace permscope::app::testing {

struct StandInDisk {
    platform::PropertyValue drivetype;
    platform::PropertyValue caption;
    bool caption_fails = false;  // reading Caption throws
};

struct StandInManagementSetup {
    std::vector<platform::PropertyValue> domains;  // DnsForestName of each Win32_NTDomain
    std::vector<StandInDisk> disks;                // Win32_LogicalDisk
    bool locator_fails = false;
    bool connection_fails = false;
};

class StandInManagement : public platform::ManagementLayer {
  public:
    // moniker_log receives each bound moniker; busy_log whether the application showed the busy
    // pointer at that moment.
    explicit StandInManagement(StandInManagementSetup setup,
                               std::shared_ptr<std::vector<std::string>> moniker_log = nullptr,
                               std::shared_ptr<std::vector<bool>> busy_log = nullptr);
    ~StandInManagement() override;

    std::unique_ptr<platform::Locator> CreateLocator(std::string_view prog_id) override;
    std::unique_ptr<platform::SecuritySetting> GetObject(std::string_view moniker) override;

    // The ConnectServer calls, as "server|namespace|user|password|locale|authority|flags".
    const std::vector<std::string>& connections() const { return *connections_; }

  private:
    StandInManagementSetup setup_;
    std::shared_ptr<std::vector<std::string>> moniker_log_;
    std::shared_ptr<std::vector<bool>> busy_log_;
    std::shared_ptr<std::vector<std::string>> connections_;
    std::unique_ptr<platform::ManagementLayer> real_;
};

// The moniker of a local folder read.
std::string file_moniker(const std::string& path);
std::string file_moniker(const QString& path);

// True while the application shows the busy pointer.
bool busy_pointer_shown();

// A directory that cannot be reached: an LDAP provider pointed at a closed port on 127.0.0.1,
// refused at once.
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

// A fresh folder below the system's temporary folder, removed with everything in it at the end.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    QString qpath() const { return QString::fromStdString(path_); }
    // Makes path_/relative (and its parents); returns its full path.
    std::string make_folder(const std::string& relative) const;
    std::string make_file(const std::string& relative) const;

  private:
    std::string path_;
};

// Changes the process's current folder for one scope.
class CurrentFolder {
  public:
    explicit CurrentFolder(const std::string& path);
    ~CurrentFolder();

  private:
    std::string saved_;
};

}  // namespace permscope::app::testing
