#include "platform/linux_management.h"

#include "platform/domain_discovery.h"
#include "platform/moniker.h"
#include "platform/posix_acl.h"
#include "platform/security_identifiers.h"
#include "platform/served_acl.h"
#include "platform/share_paths.h"
#include "platform/smb_share.h"
#include "platform/volumes.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace permscope::platform {

namespace {

constexpr std::string_view kLocatorProgId = "WbemScripting.SWbemLocator";
constexpr std::string_view kDefaultNamespace = "root\\cimv2";

using Instances = std::vector<std::unique_ptr<ManagementObject>>;

// A management object that carries a fixed set of named properties, read by name without regard
// to case ("drivetype" reads "DriveType").
class PropertyObject : public ManagementObject {
  public:
    explicit PropertyObject(std::vector<std::pair<std::string, PropertyValue>> properties)
        : properties_(std::move(properties)) {}

    PropertyValue property(std::string_view name) const override {
        for (const auto& [property_name, value] : properties_) {
            if (equals_ignoring_case(property_name, name)) {
                return value;
            }
        }
        throw ManagementError("unknown property " + std::string(name));
    }

  private:
    std::vector<std::pair<std::string, PropertyValue>> properties_;
};

Instances domain_instances(const LinuxManagementConfig& config) {
    Instances instances;
    for (std::string& name : discover_forest_names(config)) {
        instances.push_back(
            std::make_unique<PropertyObject>(std::vector<std::pair<std::string, PropertyValue>>{
                {"DnsForestName", std::move(name)}}));
    }
    return instances;
}

Instances disk_instances(const LinuxManagementConfig& config) {
    Instances instances;
    for (Volume& volume : list_volumes(config)) {
        instances.push_back(
            std::make_unique<PropertyObject>(std::vector<std::pair<std::string, PropertyValue>>{
                {"DriveType", std::int64_t{volume.drive_type}},
                {"Caption", volume.mount_point},
                {"DeviceID", std::move(volume.device)},
                {"VolumeName", std::move(volume.label)},
                {"FileSystem", std::move(volume.file_system)}}));
    }
    return instances;
}

class LinuxServices : public Services {
  public:
    explicit LinuxServices(const LinuxManagementConfig& config) : config_(config) {}

    Instances InstancesOf(std::string_view class_name) override {
        if (equals_ignoring_case(class_name, "Win32_NTDomain")) {
            return domain_instances(config_);
        }
        if (equals_ignoring_case(class_name, "Win32_LogicalDisk")) {
            return disk_instances(config_);
        }
        throw ManagementError("unknown class " + std::string(class_name));
    }

  private:
    LinuxManagementConfig config_;
};

bool is_local_server(std::string_view server) {
    return server.empty() || server == ".";
}

bool is_default_namespace(std::string_view name_space) {
    if (name_space.size() != kDefaultNamespace.size()) {
        return false;
    }
    std::string normalised = ascii_lower(name_space);
    for (char& c : normalised) {
        if (c == '/') {
            c = '\\';
        }
    }
    return normalised == kDefaultNamespace;
}

class LinuxLocator : public Locator {
  public:
    explicit LinuxLocator(const LinuxManagementConfig& config) : config_(config) {}

    std::unique_ptr<Services> ConnectServer(std::string_view server, std::string_view name_space,
                                            std::string_view user, std::string_view password,
                                            std::optional<std::string_view> /*locale*/,
                                            std::optional<std::string_view> /*authority*/,
                                            std::int32_t /*security_flags*/) override {
        if (!is_local_server(server)) {
            throw ManagementError("remote management servers are not supported: " +
                                  std::string(server));
        }
        if (!is_default_namespace(name_space)) {
            throw ManagementError("unknown namespace " + std::string(name_space));
        }
        // As on Windows: the local machine is reached under the caller's own credentials only.
        if (!user.empty() || !password.empty()) {
            throw ManagementError("user credentials cannot be used for local connections");
        }
        return std::make_unique<LinuxServices>(config_);
    }

  private:
    LinuxManagementConfig config_;
};

class FileSecuritySetting : public SecuritySetting {
  public:
    explicit FileSecuritySetting(std::string path) : path_(std::move(path)) {
        // Only the path is examined: nothing is opened, so a FIFO cannot block the read. A path
        // that names no folder has no folder rights to show.
        if (::stat(path_.c_str(), &info_) != 0) {
            throw ManagementError("cannot examine " + path_ + ": " + std::strerror(errno));
        }
        if (!S_ISDIR(info_.st_mode)) {
            throw ManagementError(path_ + " is not a folder");
        }
    }

    // The access list the folder's file system serves (a mounted share's NT or NFSv4 list), else
    // its POSIX ACL.
    SecurityDescriptor GetSecurityDescriptor() override {
        if (auto served = read_served_access_list(path_, info_)) {
            return std::move(*served);
        }
        return SecurityDescriptor{read_posix_access_acl(path_), {}};
    }

  private:
    std::string path_;
    struct stat info_ {};
};

// The entries of libsmbclient's text. Where the server could not look names up, the SIDs it left
// are named by the table of well-known SIDs, or marked for the caller to name.
class ShareSecuritySetting : public SecuritySetting {
  public:
    ShareSecuritySetting(std::string_view share_path, const SmbOptions& options)
        : folder_(share_path, options) {}

    SecurityDescriptor GetSecurityDescriptor() override {
        SecurityDescriptor descriptor{
            parse_nt_security_descriptor(folder_.security_descriptor_text()),
            folder_.name_lookup_problem()};
        if (!descriptor.name_lookup_problem.empty()) {
            for (AccessEntry& entry : *descriptor.dacl) {
                if (!entry.trustee_name.starts_with("S-1-")) {
                    continue;
                }
                if (const auto name = well_known_sid_name(entry.trustee_name)) {
                    entry.trustee_name = std::string(*name);
                } else {
                    entry.unnamed_sid = entry.trustee_name;
                }
            }
        }
        return descriptor;
    }

  private:
    SmbShareFolder folder_;
};

class LinuxManagement : public ManagementLayer {
  public:
    explicit LinuxManagement(LinuxManagementConfig config) : config_(std::move(config)) {}

    std::unique_ptr<Locator> CreateLocator(std::string_view prog_id) override {
        if (!equals_ignoring_case(prog_id, kLocatorProgId)) {
            throw ManagementError("cannot create object " + std::string(prog_id));
        }
        return std::make_unique<LinuxLocator>(config_);
    }

    std::unique_ptr<SecuritySetting> GetObject(std::string_view moniker) override {
        const auto parsed = parse_moniker(moniker);
        if (!parsed) {
            throw ManagementError("invalid object path " + std::string(moniker));
        }
        const SmbOptions smb{config_.smb_port, config_.smb_timeout, config_.smb_deadline};
        if (parsed->object_class == MonikerClass::ShareSecuritySetting) {
            return std::make_unique<ShareSecuritySetting>(parsed->key_value, smb);
        }
        // A path under the desktop's SMB mounts, or an smb:// address, is read over SMB.
        if (const auto share_path = desktop_share_path(parsed->key_value)) {
            return std::make_unique<ShareSecuritySetting>(*share_path, smb);
        }
        return std::make_unique<FileSecuritySetting>(parsed->key_value);
    }

  private:
    LinuxManagementConfig config_;
};

}  // namespace

std::unique_ptr<ManagementLayer> make_linux_management(LinuxManagementConfig config) {
    return std::make_unique<LinuxManagement>(std::move(config));
}

}  // namespace permscope::platform
