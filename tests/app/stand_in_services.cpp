#include "tests/app/stand_in_services.h"

#include <QApplication>
#include <QCursor>

#include "directory/ldap_provider.h"
#include "platform/linux_management.h"
#include "testbed/private_slapd.h"

namespace permscope::app::testing {

namespace {

using Properties = std::vector<std::pair<std::string, platform::PropertyValue>>;

// An instance with the properties the window reads, by their exact names.
class Instance : public platform::ManagementObject {
  public:
    explicit Instance(Properties properties) : properties_(std::move(properties)) {}
    platform::PropertyValue property(std::string_view name) const override {
        for (const auto& [key, value] : properties_)
            if (key == name)
                return value;
        throw platform::ManagementError("unknown property " + std::string(name));
    }

  private:
    Properties properties_;
};

class StandInServices : public platform::Services, public platform::Locator {
  public:
    explicit StandInServices(const StandInManagementSetup& setup) : setup_(setup) {}

    std::unique_ptr<platform::Services> ConnectServer(std::string_view, std::string_view name_space,
                                                      std::string_view, std::string_view,
                                                      std::optional<std::string_view>,
                                                      std::optional<std::string_view>,
                                                      std::int32_t) override {
        if (setup_.connection_fails || name_space != "root\\cimv2")
            throw platform::ManagementError("connection refused");
        return std::make_unique<StandInServices>(setup_);
    }
    std::vector<std::unique_ptr<platform::ManagementObject>> InstancesOf(
        std::string_view class_name) override {
        std::vector<std::unique_ptr<platform::ManagementObject>> instances;
        if (class_name == "Win32_NTDomain") {
            for (const auto& name : setup_.domains)
                instances.push_back(
                    std::make_unique<Instance>(Properties{{"DnsForestName", name}}));
        } else if (class_name == "Win32_LogicalDisk") {
            for (const StandInDisk& disk : setup_.disks)
                instances.push_back(std::make_unique<Instance>(
                    Properties{{"drivetype", disk.drivetype}, {"Caption", disk.caption}}));
        } else {
            throw platform::ManagementError("unknown class " + std::string(class_name));
        }
        return instances;
    }

  private:
    StandInManagementSetup setup_;
};

// The export tests' recording spreadsheet, which also notes "busy" when the busy pointer shows as
// the application is created.
class BusyRecordingFactory : public spreadsheet::testing::RecordingFactory {
  public:
    std::unique_ptr<spreadsheet::Application> CreateObject(const std::string& prog_id) override {
        auto application = RecordingFactory::CreateObject(prog_id);
        if (busy_pointer_shown())
            record("busy");
        return application;
    }
};

class StandInManagement : public platform::ManagementLayer {
  public:
    StandInManagement(StandInManagementSetup setup, TestServices& logs)
        : setup_(std::move(setup)), monikers_(logs.monikers), busy_(logs.busy_at_reads) {}

    std::unique_ptr<platform::Locator> CreateLocator(std::string_view prog_id) override {
        if (setup_.locator_fails || prog_id != "WbemScripting.SWbemLocator")
            throw platform::ManagementError("cannot create " + std::string(prog_id));
        return std::make_unique<StandInServices>(setup_);
    }
    std::unique_ptr<platform::SecuritySetting> GetObject(std::string_view moniker) override {
        monikers_->emplace_back(moniker);
        busy_->push_back(busy_pointer_shown());
        return real_->GetObject(moniker);
    }

  private:
    StandInManagementSetup setup_;
    std::shared_ptr<std::vector<std::string>> monikers_;
    std::shared_ptr<std::vector<bool>> busy_;
    std::unique_ptr<platform::ManagementLayer> real_ = platform::make_linux_management();
};

}  // namespace

bool busy_pointer_shown() {
    const QCursor* cursor = QApplication::overrideCursor();
    return cursor != nullptr && cursor->shape() == Qt::WaitCursor;
}

std::string file_moniker(const std::string& path) {
    return "winmgmts:Win32_LogicalFileSecuritySetting.path='" + path + "'";
}

std::unique_ptr<directory::DirectoryProvider> unreachable_directory() {
    directory::LdapProviderOptions options;
    options.uri = "ldap://127.0.0.1:" + std::to_string(permscope::testing::free_local_port());
    options.network_timeout = std::chrono::milliseconds(500);
    return directory::make_ldap_directory_provider(options);
}

Form1Services TestServices::make() {
    Form1Services services;
    services.management = std::make_unique<StandInManagement>(management, *this);
    services.directory = directory ? std::move(directory) : unreachable_directory();
    auto recording = std::make_unique<BusyRecordingFactory>();
    spreadsheet = recording.get();
    services.spreadsheet = std::move(recording);
    services.drives = [entries = drives] { return entries; };
    return services;
}

CurrentFolder::CurrentFolder(const std::string& path)
    : saved_(std::filesystem::current_path().string()) {
    std::filesystem::current_path(path);
}

CurrentFolder::~CurrentFolder() {
    std::error_code ignored;
    std::filesystem::current_path(saved_, ignored);
}

}  // namespace permscope::app::testing
