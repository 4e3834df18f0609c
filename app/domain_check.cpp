// permscope-domain-check: says whether Permscope would find a real directory here, with the
// program's own discovery and server location: the first domain the machine reports must have a
// directory that answers a read of its base.
//
//   permscope-domain-check          exit 0 when it answers, 1 otherwise
//   permscope-domain-check --list   print the reported domains, one a line, first one first

#include <cstdio>
#include <cstring>

#include "directory/ldap_provider.h"
#include "directory/query_dialect.h"
#include "directory/query_session.h"
#include "platform/domain_discovery.h"

namespace {

bool directory_answers(const std::string& domain) {
    auto provider = permscope::directory::make_ldap_directory_provider();
    permscope::directory::QuerySession session(*provider);
    using permscope::directory::QuerySession;
    return session.execute(
               permscope::directory::entry_read_text(permscope::directory::base_name(domain)),
               QuerySession::Slot::Extra, permscope::directory::SearchScope::Base) &&
           session.record_count(QuerySession::Slot::Extra).value_or(0) > 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    permscope::platform::limit_library_configuration();
    const auto domains = permscope::platform::discover_forest_names({});
    if (argc > 1 && std::strcmp(argv[1], "--list") == 0) {
        for (const std::string& domain : domains)
            std::printf("%s\n", domain.c_str());
        return 0;
    }
    return !domains.empty() && directory_answers(domains.front()) ? 0 : 1;
}
