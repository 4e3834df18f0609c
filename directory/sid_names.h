#pragma once
// Names accounts by their SIDs through the directory, for access lists that carry SIDs alone (the
// raw descriptor of a folder on a mounted share, a share server whose name lookup failed).

#include <cstddef>
#include <functional>
#include <string>

#include "directory/directory_provider.h"
#include "platform/security_identifiers.h"

namespace permscope::directory {

class DirectorySidNaming : public platform::SidNaming {
  public:
    // domain_name is asked at every call (the window's domain selector text); an empty one names
    // no directory, and nothing is looked up.
    DirectorySidNaming(DirectoryProvider& provider, std::function<std::string()> domain_name,
                       std::size_t sids_per_search = 64);

    // Searches the domain for the objects of the SIDs, many per search (objectSid='…' or …),
    // the searches side by side where the provider can; each account is named by its
    // sAMAccountName. An object without one (another forest's member) leaves its SID unnamed,
    // as does a SID the directory does not hold. The SIDs of a search that failed are reported as
    // not looked up.
    platform::SidNames name_sids(const std::vector<std::string>& sids) override;

  private:
    DirectoryProvider& provider_;
    std::function<std::string()> domain_name_;
    std::size_t sids_per_search_;
};

}  // namespace permscope::directory
