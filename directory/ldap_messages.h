#pragma once
// The messages of an LDAP search on a libldap handle: a page of a search sent, the next message
// of any search waited for, an entry read (noting attributes whose values come in ranges), the
// result that ends a page read.

#include <ldap.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/owned.h"
#include "directory/ldap_search.h"

namespace permscope::directory {

using LdapClock = std::chrono::steady_clock;
using LdapMessageOwner = Owned<LDAPMessage, ldap_msgfree>;
using LdapControlOwner = Owned<LDAPControl, ldap_control_free>;

// "member;range=0-1499" read as its parts; nothing for a name without a range option.
std::optional<AttributeRange> parse_attribute_range(std::string_view attribute);

// Waits for the next message of any search, at most silence and never past deadline. Throws
// ServerSilent when none comes, ServerLost when the connection broke.
LdapMessageOwner next_message(LDAP* ld, LdapClock::time_point deadline,
                              std::chrono::milliseconds silence);

// An attribute that came with a range option, by its place in the records of its search.
struct RangedAttribute {
    std::size_t record;
    std::size_t attribute;
    AttributeRange range;
};

// Reads an entry; its attributes with a range option are added to ranged under record_index.
LdapRecord read_entry(LDAP* ld, LDAPMessage* entry, std::size_t record_index,
                      std::vector<RangedAttribute>& ranged);

// The paged-results control asking for page_size entries after cookie.
LDAPControl* make_page_control(LDAP* ld, int page_size, const std::string& cookie);
// Sends the search (with page_control, where there is one); returns its message id.
int send_search(LDAP* ld, const LdapSearchRequest& request, LDAPControl* page_control);
// Reads the result that ends one page of a search. Returns the cookie that asks for the next page
// (empty after the last one, and for an unpaged search). Throws ServerRefused when the server
// refuses the search for who asks, DirectoryError when it fails this search alone.
std::string end_of_page(LDAP* ld, LDAPMessage* result, bool paged);

}  // namespace permscope::directory
