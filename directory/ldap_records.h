#pragma once
// LDAP entries as the provider hands them out: the fields a query selected, multi-valued
// attributes as arrays, each record with its distinguished name and security identifier.

#include <memory>
#include <string>
#include <vector>

#include "directory/answer_store.h"
#include "directory/ldap_search.h"

namespace permscope::directory {

// Turns the entries of one query's search into records whose fields are those selected.
class RecordMaker {
  public:
    explicit RecordMaker(std::vector<std::string> selected);

    // The values are moved out of the entry.
    StoredRecord record(LdapRecord entry) const;
    // The entries of a search as a record set.
    std::unique_ptr<Recordset> record_set(std::vector<LdapRecord> entries) const;

  private:
    std::vector<std::string> selected_;
    // Per selected field: whether no later field of the list names the same attribute, so that
    // its values can be moved rather than copied.
    std::vector<bool> last_uses_;
    bool sid_selected_ = false;  // as a field besides the record's own identifier
};

}  // namespace permscope::directory
