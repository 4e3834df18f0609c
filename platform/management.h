#pragma once
// The management layer: the five operations that start-up, the drive tree and the folder read use
// to ask the system about domains, disks and folder access lists. Callers pass the exact texts of
// the management service (namespace, class names, monikers); the Linux provider answers with their
// meaning on this machine.
//
// Every operation that fails throws ManagementError. Callers decide per statement whether a
// failure ends their work or is skipped.

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace permscope::platform {

class ManagementError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A file server that could not be reached, stopped answering, dropped the connection or refused
// the session. Unlike a folder that does not exist or does not let us read its access list, the
// user has to be told: its text names the server and the cause, in words for the user.
class ShareServerError : public ManagementError {
  public:
    using ManagementError::ManagementError;
};

// A property value: null (no value), a text or a number.
using PropertyValue = std::variant<std::monostate, std::string, std::int64_t>;

class ManagementObject {
  public:
    virtual ~ManagementObject() = default;
    // Reads a property by name (without regard to case). An unknown property throws.
    virtual PropertyValue property(std::string_view name) const = 0;
};

class Services {
  public:
    virtual ~Services() = default;
    // The instances of a class, front to back. An unknown class throws.
    virtual std::vector<std::unique_ptr<ManagementObject>> InstancesOf(
        std::string_view class_name) = 0;
};

class Locator {
  public:
    virtual ~Locator() = default;
    // server, namespace, user, password, locale, authority, security flags.
    virtual std::unique_ptr<Services> ConnectServer(
        std::string_view server, std::string_view name_space, std::string_view user,
        std::string_view password, std::optional<std::string_view> locale,
        std::optional<std::string_view> authority, std::int32_t security_flags) = 0;
};

enum class AceType : int { Allow = 0, Deny = 1 };

struct AccessEntry {
    std::string trustee_name;  // account name without domain
    std::int32_t access_mask = 0;
    AceType type = AceType::Allow;
    // The trustee's security identifier ("S-1-5-21-…") where nothing has named it yet: a raw
    // descriptor's domain account, or an account the share server could not look up. The
    // trustee name is then that same text until a caller names it.
    std::string unnamed_sid;
};

struct SecurityDescriptor {
    // Absent when the descriptor carries no access list at all.
    std::optional<std::vector<AccessEntry>> dacl;
    // Why the server named none of the unnamed SIDs although it should have (its account-name
    // lookup failed), in words for the user; empty when it simply did not know them.
    std::string name_lookup_problem;
};

class SecuritySetting {
  public:
    virtual ~SecuritySetting() = default;
    virtual SecurityDescriptor GetSecurityDescriptor() = 0;
};

class ManagementLayer {
  public:
    virtual ~ManagementLayer() = default;
    // Creates the automation object of the given programmatic identifier
    // ("WbemScripting.SWbemLocator"); any other identifier throws.
    virtual std::unique_ptr<Locator> CreateLocator(std::string_view prog_id) = 0;
    // Binds "winmgmts:Win32_LogicalFileSecuritySetting.path='…'" or
    // "winmgmts:Win32_LogicalShareSecuritySetting.name='…'".
    virtual std::unique_ptr<SecuritySetting> GetObject(std::string_view moniker) = 0;
};

}  // namespace permscope::platform
