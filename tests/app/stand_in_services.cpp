#include "tests/app/stand_in_services.h"

#include <unistd.h>

#include <QApplication>
#include <QCursor>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "directory/ldap_provider.h"
#include "platform/linux_management.h"
#include "tests/fixtures/private_slapd.h"

namespace permscope::app::testing {

namespace {

bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

class Instance : public platform::ManagementObject {
  public:
    Instance(std::vector<std::pair<std::string, platform::PropertyValue>> properties,
             std::vector<std::string> failing = {})
        : properties_(std::move(properties)), failing_(std::move(failing)) {}

    platform::PropertyValue property(std::string_view name) const override {
        for (const std::string& failing : failing_)
            if (same_name(failing, name))
                throw platform::ManagementError("property read fails");
        for (const auto& [key, value] : properties_)
            if (same_name(key, name))
                return value;
        throw platform::ManagementError("no property " + std::string(name));
    }

  private:
    std::vector<std::pair<std::string, platform::PropertyValue>> properties_;
    std::vector<std::string> failing_;
};

class StandInServices : public platform::Services {
  public:
    explicit StandInServices(const StandInManagementSetup& setup) : setup_(setup) {}

    std::vector<std::unique_ptr<platform::ManagementObject>> InstancesOf(
        std::string_view class_name) override {
        std::vector<std::unique_ptr<platform::ManagementObject>> instances;
        if (class_name == "Win32_NTDomain") {
            for (const auto& name : setup_.domains)
                instances.push_back(std::make_unique<Instance>(
                    std::vector<std::pair<std::string, platform::PropertyValue>>{
                        {"DnsForestName", name}}));
            return instances;
        }
        if (class_name == "Win32_LogicalDisk") {
            for (const StandInDisk& disk : setup_.disks) {
                std::vector<std::string> failing;
                if (disk.caption_fails)
                    failing.emplace_back("Caption");
                instances.push_back(std::make_unique<Instance>(
                    std::vector<std::pair<std::string, platform::PropertyValue>>{
                        {"drivetype", disk.drivetype}, {"Caption", disk.caption}},
                    failing));
            }
            return instances;
        }
        throw platform::ManagementError("unknown class " + std::string(class_name));
    }

  private:
    StandInManagementSetup setup_;
};

class StandInLocator : public platform::Locator {
  public:
    StandInLocator(const StandInManagementSetup& setup,
                   std::shared_ptr<std::vector<std::string>> connections)
        : setup_(setup), connections_(std::move(connections)) {}

    std::unique_ptr<platform::Services> ConnectServer(
        std::string_view server, std::string_view name_space, std::string_view user,
        std::string_view password, std::optional<std::string_view> locale,
        std::optional<std::string_view> authority, std::int32_t security_flags) override {
        connections_->push_back(std::string(server) + "|" + std::string(name_space) + "|" +
                                std::string(user) + "|" + std::string(password) + "|" +
                                (locale ? std::string(*locale) : "(none)") + "|" +
                                (authority ? std::string(*authority) : "(none)") + "|" +
                                std::to_string(security_flags));
        if (setup_.connection_fails)
            throw platform::ManagementError("connection refused");
        return std::make_unique<StandInServices>(setup_);
    }

  private:
    StandInManagementSetup setup_;
    std::shared_ptr<std::vector<std::string>> connections_;
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

}  // namespace

StandInManagement::StandInManagement(StandInManagementSetup setup,
                                     std::shared_ptr<std::vector<std::string>> moniker_log,
                                     std::shared_ptr<std::vector<bool>> busy_log)
    : setup_(std::move(setup)),
      moniker_log_(moniker_log ? std::move(moniker_log)
                               : std::make_shared<std::vector<std::string>>()),
      busy_log_(busy_log ? std::move(busy_log) : std::make_shared<std::vector<bool>>()),
      connections_(std::make_shared<std::vector<std::string>>()),
      real_(platform::make_linux_management()) {}

StandInManagement::~StandInManagement() = default;

std::unique_ptr<platform::Locator> StandInManagement::CreateLocator(std::string_view prog_id) {
    if (setup_.locator_fails || prog_id != "WbemScripting.SWbemLocator")
        throw platform::ManagementError("cannot create " + std::string(prog_id));
    return std::make_unique<StandInLocator>(setup_, connections_);
}

std::unique_ptr<platform::SecuritySetting> StandInManagement::GetObject(std::string_view moniker) {
    moniker_log_->emplace_back(moniker);
    busy_log_->push_back(busy_pointer_shown());
    return real_->GetObject(moniker);
}

bool busy_pointer_shown() {
    const QCursor* cursor = QApplication::overrideCursor();
    return cursor != nullptr && cursor->shape() == Qt::WaitCursor;
}

std::string file_moniker(const std::string& path) {
    return "winmgmts:Win32_LogicalFileSecuritySetting.path='" + path + "'";
}

std::string file_moniker(const QString& path) {
    return file_moniker(path.toStdString());
}

std::unique_ptr<directory::DirectoryProvider> unreachable_directory() {
    directory::LdapProviderOptions options;
    options.uri = "ldap://127.0.0.1:" + std::to_string(permscope::testing::free_local_port());
    options.network_timeout = std::chrono::milliseconds(500);
    return directory::make_ldap_directory_provider(options);
}

Form1Services TestServices::make() {
    Form1Services services;
    services.management = std::make_unique<StandInManagement>(management, monikers, busy_at_reads);
    services.directory = directory ? std::move(directory) : unreachable_directory();
    auto recording = std::make_unique<BusyRecordingFactory>();
    spreadsheet = recording.get();
    services.spreadsheet = std::move(recording);
    services.drives = [entries = drives] { return entries; };
    return services;
}

TempFolder::TempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "permscope-app-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::make_folder(const std::string& relative) const {
    const std::string full = path_ + "/" + relative;
    std::filesystem::create_directories(full);
    return full;
}

std::string TempFolder::make_file(const std::string& relative) const {
    const std::string full = path_ + "/" + relative;
    std::filesystem::create_directories(std::filesystem::path(full).parent_path());
    std::ofstream(full) << "x";
    return full;
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
