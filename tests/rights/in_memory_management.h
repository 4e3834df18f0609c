#pragma once
// A management layer that answers from a table of monikers, for pinning exact cases of the folder
// read. A moniker that is not in the table fails to bind, as an unknown folder does.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/management.h"

namespace permscope::rights::testing {

class InMemoryManagement : public platform::ManagementLayer {
  public:
    // What binding a moniker gives.
    struct Folder {
        platform::SecurityDescriptor descriptor;
        bool descriptor_fails = false;  // GetSecurityDescriptor throws
    };

    void add_folder(const std::string& moniker, Folder folder) {
        folders_[moniker] = std::move(folder);
    }
    void add_folder(const std::string& moniker, std::vector<platform::AccessEntry> entries) {
        add_folder(moniker, Folder{platform::SecurityDescriptor{std::move(entries)}, false});
    }

    const std::vector<std::string>& bound_monikers() const { return bound_monikers_; }

    std::unique_ptr<platform::Locator> CreateLocator(std::string_view prog_id) override {
        throw platform::ManagementError("no locator here: " + std::string(prog_id));
    }

    std::unique_ptr<platform::SecuritySetting> GetObject(std::string_view moniker) override {
        bound_monikers_.emplace_back(moniker);
        const auto found = folders_.find(std::string(moniker));
        if (found == folders_.end())
            throw platform::ManagementError("cannot bind");
        return std::make_unique<Setting>(found->second);
    }

  private:
    class Setting : public platform::SecuritySetting {
      public:
        explicit Setting(Folder folder) : folder_(std::move(folder)) {}
        platform::SecurityDescriptor GetSecurityDescriptor() override {
            if (folder_.descriptor_fails)
                throw platform::ManagementError("access denied");
            return folder_.descriptor;
        }

      private:
        Folder folder_;
    };

    std::map<std::string, Folder> folders_;
    std::vector<std::string> bound_monikers_;
};

}  // namespace permscope::rights::testing
