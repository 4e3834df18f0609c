#pragma once
// Names SIDs through the identity service the machine itself runs for its domain, where it runs
// one: SSSD (libsss_nss_idmap) or winbind (libwbclient). Both libraries are loaded when first
// needed and only where they are installed, so that neither is needed to build or run Permscope;
// a service whose daemon does not run answers at once and names nothing.

#include <memory>

#include "platform/security_identifiers.h"

namespace permscope::platform {

// Names what SSSD names, then asks winbind for the rest, each name without its domain. It never
// reports a failure: a SID it leaves is asked of the next naming (the directory).
std::unique_ptr<SidNaming> make_system_sid_naming();

// Asks first, then second for the SIDs first left; a SID neither names is reported as not looked
// up where either failed for it.
class SidNamingChain : public SidNaming {
  public:
    SidNamingChain(SidNaming& first, SidNaming& second) : first_(first), second_(second) {}
    SidNames name_sids(const std::vector<std::string>& sids) override;

  private:
    SidNaming& first_;
    SidNaming& second_;
};

}  // namespace permscope::platform
