#pragma once
// One LDAP search run to its end on an open handle: paged (RFC 2696), continuation references
// skipped, and multi-valued attributes that the server hands out in ranges
// ("member;range=0-1499") fetched completely.

#include <ldap.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "directory/directory_provider.h"

namespace permscope::directory {

struct LdapRecord {
    std::string dn;
    struct Attribute {
        std::string name;  // as the server names it, without options such as ";range=…"
        std::vector<std::string> values;
    };
    std::vector<Attribute> attributes;
};

struct LdapSearchRequest {
    std::string base;
    int scope = LDAP_SCOPE_SUBTREE;
    std::string filter;
    std::vector<std::string> attributes;
    std::chrono::seconds time_limit{30};
    // How long past the server's time limit the client waits for each page of the answer.
    std::chrono::milliseconds grace{5000};
    // The longest silence within an answer: a server that sends nothing, or stops in the middle
    // of a message, for this long has stopped answering.
    std::chrono::milliseconds silence{10000};
    int page_size = 1000;
};

// The server cannot serve this read on this handle: what it would answer next is not to be had.
class ServerUnusable : public DirectoryError {
  public:
    using DirectoryError::DirectoryError;
};

// The connection to the server broke or the server stopped answering: the handle is of no more
// use.
class ServerLost : public ServerUnusable {
  public:
    using ServerUnusable::ServerUnusable;
};

// The server took the connection but did not answer within the time allowed.
class ServerSilent : public ServerLost {
  public:
    using ServerLost::ServerLost;
};

// The server refuses searches for who we are (unbound, or bound without the rights it asks for):
// every further search would be refused the same way.
class ServerRefused : public ServerUnusable {
  public:
    using ServerUnusable::ServerUnusable;
};

// "10 s", "1.5 s": a wait as the user is told of it.
std::string seconds_text(std::chrono::milliseconds wait);

// Runs the search. Throws ServerUnusable when the handle cannot be used any more and
// DirectoryError when the server refuses this search (no such base, a referral, a limit
// exceeded, a bad filter).
std::vector<LdapRecord> run_search(LDAP* ld, const LdapSearchRequest& request);

// Runs the search and hands its entries to each_entry one at a time as they arrive, without
// keeping them: an entry with values in ranges comes once they are complete, after the others.
// each_entry returns false to stop the search there (it is abandoned). Returns false when it was
// stopped; throws as run_search does.
using EachEntry = std::function<bool(LdapRecord entry)>;
bool run_search_streamed(LDAP* ld, const LdapSearchRequest& request, const EachEntry& each_entry);

// Runs the searches side by side on one handle, several in flight at once, and hands each one's
// records to done (with the request's index) as soon as it is complete, while the server works on
// the next ones. A search the server refused is not handed over. Throws ServerUnusable when the
// handle cannot be used any more.
using SearchDone = std::function<void(std::size_t index, std::vector<LdapRecord> records)>;
void run_searches(LDAP* ld, const std::vector<LdapSearchRequest>& requests, const SearchDone& done);

// "member;range=0-1499" read as its parts; nothing for a name without a range option.
struct AttributeRange {
    std::string name;
    long long low = 0;
    std::optional<long long> high;  // nothing for "*", the last part
};

}  // namespace permscope::directory
