#include "rights/folder_reader.h"

#include <exception>
#include <optional>
#include <variant>

namespace permscope::rights {

std::vector<std::unique_ptr<platform::ManagementObject>> domain_instances(
    platform::ManagementLayer& management) {
    try {
        const auto locator = management.CreateLocator("WbemScripting.SWbemLocator");
        const auto services =
            locator->ConnectServer("", "root\\cimv2", "", "", std::nullopt, std::nullopt, 128);
        return services->InstancesOf("Win32_NTDomain");
    } catch (const std::exception&) {
        return {};
    }
}

namespace {

// A property as the text the domain selector takes: a text as it is, a number in decimal. A
// property without a value, or one the instance does not have, gives nothing.
std::optional<std::string> property_text(const platform::ManagementObject& instance,
                                         std::string_view name) {
    try {
        const platform::PropertyValue value = instance.property(name);
        if (const auto* text = std::get_if<std::string>(&value))
            return *text;
        if (const auto* number = std::get_if<std::int64_t>(&value))
            return std::to_string(*number);
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

}  // namespace

std::string first_forest_name(platform::ManagementLayer& management) {
    for (const auto& domain : domain_instances(management))
        if (std::optional<std::string> name = property_text(*domain, "DnsForestName"))
            return *name;
    return {};
}

std::string FolderReadResult::problem() const {
    if (directory_problem.empty() || outcome.problem.empty())
        return directory_problem + outcome.problem;
    return directory_problem + "\n" + outcome.problem;
}

FolderReader::FolderReader(platform::ManagementLayer& management,
                           directory::DirectoryProvider& directory,
                           std::function<std::string()> domain_name)
    : management_(management),
      resolver_(directory, domain_name),
      system_sid_naming_(platform::make_system_sid_naming()),
      directory_sid_naming_(directory, std::move(domain_name)),
      sid_naming_(*system_sid_naming_, directory_sid_naming_) {}

std::string FolderReader::Group_check(ResultList& users, ResultList& groups,
                                      std::string& strUserGroup, std::string MemberFrom,
                                      std::string& strCreatedListEntries) {
    return resolver_.Group_check(users, groups, strUserGroup, std::move(MemberFrom),
                                 strCreatedListEntries);
}

FolderReadResult FolderReader::read(const std::string& strpath, ResultList& users,
                                    ResultList& groups, const GroupCheck& group_check,
                                    ReadHooks& hooks) {
    FolderReadResult result;
    try {
        result.outcome =
            find_dir_rights(strpath, users, groups, management_, group_check, hooks, &sid_naming_);
    } catch (...) {
        // The next read must still start afresh: no kept answers, servers tried again.
        resolver_.folder_read_finished();
        throw;
    }
    result.directory_problem = resolver_.folder_read_finished();
    return result;
}

FolderReadResult FolderReader::read(const std::string& strpath, ResultList& users,
                                    ResultList& groups, ReadHooks& hooks) {
    const GroupCheck group_check = [&](std::string& strUserGroup, std::string MemberFrom,
                                       std::string& strCreatedListEntries) {
        return Group_check(users, groups, strUserGroup, std::move(MemberFrom),
                           strCreatedListEntries);
    };
    return read(strpath, users, groups, group_check, hooks);
}

}  // namespace permscope::rights
