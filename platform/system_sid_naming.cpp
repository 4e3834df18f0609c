#include "platform/system_sid_naming.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/posix_acl.h"

namespace permscope::platform {

namespace {

// A library loaded at run time; absent where it is not installed.
class LoadedLibrary {
  public:
    explicit LoadedLibrary(const char* soname) : handle_(::dlopen(soname, RTLD_NOW | RTLD_LOCAL)) {}
    ~LoadedLibrary() {
        if (handle_)
            ::dlclose(handle_);
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    template <typename Function>
    Function* function(const char* name) const {
        return handle_ ? reinterpret_cast<Function*>(::dlsym(handle_, name)) : nullptr;
    }

  private:
    void* handle_;
};

// libsss_nss_idmap: sss_nss_getnamebysid(sid, &"name@domain", &type), 0 when named.
class SssdRoute {
  public:
    std::optional<std::string> name_of(const std::string& sid) const {
        if (!lookup_)
            return std::nullopt;
        char* qualified = nullptr;
        int type = 0;
        if (lookup_(sid.c_str(), &qualified, &type) != 0 || !qualified)
            return std::nullopt;
        std::string name = account_name_without_domain(qualified);
        std::free(qualified);
        return name;
    }

  private:
    using Lookup = int(const char*, char**, int*);
    LoadedLibrary library_{"libsss_nss_idmap.so.0"};
    Lookup* lookup_ = library_.function<Lookup>("sss_nss_getnamebysid");
};

// libwbclient: wbcStringToSid, then wbcLookupSid(sid, &domain, &name, &type); 0 is success. The
// SID's layout is libwbclient's struct wbcDomainSid.
class WinbindRoute {
  public:
    WinbindRoute() {
        // Without a running winbindd nothing is asked.
        if (!ping_ || !parse_ || !lookup_ || !release_ || ping_() != 0)
            lookup_ = nullptr;
    }

    std::optional<std::string> name_of(const std::string& sid_text) const {
        DomainSid sid{};
        char* domain = nullptr;
        char* name = nullptr;
        int type = 0;
        if (!lookup_ || parse_(sid_text.c_str(), &sid) != 0 ||
            lookup_(&sid, &domain, &name, &type) != 0)
            return std::nullopt;
        std::optional<std::string> result;
        if (name && *name)
            result = std::string(name);
        release_(domain);
        release_(name);
        return result;
    }

  private:
    struct DomainSid {
        std::uint8_t revision;
        std::uint8_t count;
        std::uint8_t authority[6];
        std::uint32_t sub_authorities[15];
    };
    using Ping = int();
    using Parse = int(const char*, DomainSid*);
    using Lookup = int(const DomainSid*, char**, char**, int*);
    using Release = void(void*);
    LoadedLibrary library_{"libwbclient.so.0"};
    Ping* ping_ = library_.function<Ping>("wbcPing");
    Parse* parse_ = library_.function<Parse>("wbcStringToSid");
    Lookup* lookup_ = library_.function<Lookup>("wbcLookupSid");
    Release* release_ = library_.function<Release>("wbcFreeMemory");
};

class SystemSidNaming : public SidNaming {
  public:
    SidNames name_sids(const std::vector<std::string>& sids) override {
        SidNames named;
        for (const std::string& sid : sids) {
            auto name = sssd_.name_of(sid);
            if (!name)
                name = winbind_.name_of(sid);
            if (name)
                named.names.emplace(sid, std::move(*name));
        }
        return named;
    }

  private:
    SssdRoute sssd_;
    WinbindRoute winbind_;
};

}  // namespace

std::unique_ptr<SidNaming> make_system_sid_naming() {
    return std::make_unique<SystemSidNaming>();
}

SidNames SidNamingChain::name_sids(const std::vector<std::string>& sids) {
    SidNames named = first_.name_sids(sids);
    std::vector<std::string> left;
    for (const std::string& sid : sids)
        if (!named.names.contains(sid))
            left.push_back(sid);
    if (left.empty())
        return named;
    SidNames rest = second_.name_sids(left);
    named.names.merge(rest.names);
    std::vector<std::string> not_looked_up;
    for (const std::string& sid : left) {
        const auto failed = [&](const std::vector<std::string>& sids_failed) {
            return std::find(sids_failed.begin(), sids_failed.end(), sid) != sids_failed.end();
        };
        if (!named.names.contains(sid) &&
            (failed(named.not_looked_up) || failed(rest.not_looked_up)))
            not_looked_up.push_back(sid);
    }
    named.not_looked_up = std::move(not_looked_up);
    if (named.not_looked_up.empty())
        named.problem.clear();
    else if (!rest.problem.empty())
        named.problem += (named.problem.empty() ? "" : " ") + rest.problem;
    return named;
}

}  // namespace permscope::platform
