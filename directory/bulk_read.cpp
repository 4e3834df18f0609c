#include "directory/bulk_read.h"

#include <algorithm>
#include <utility>

#include "directory/query_dialect.h"

namespace permscope::directory {

namespace {

// Every entry of the category into the index; false when the search failed, or brought more
// entries than limit() allows (asked only when the count passes the last answer) and was
// stopped.
template <typename Limit>
bool read_category(DirectoryProvider& provider, EntryIndex& index, std::string_view base,
                   LookupKind kind, const Limit& limit) {
    std::size_t count = 0;
    std::size_t allowed = 0;
    return provider.execute_streamed(
        category_text(base, kind == LookupKind::Group ? "Group" : "User"),
        [&](StoredRecord record) {
            if (++count > allowed && count > (allowed = limit()))
                return false;
            DirectoryEntry entry = entry_of_lookup_record(std::move(record));
            entry.group = kind == LookupKind::Group;
            entry.user = kind == LookupKind::User;
            index.add(std::move(entry));
            return true;
        });
}

// How many member values of all groups kept are no group (a member of two groups counts twice):
// at least as many as the users (and other members) group membership reaches.
std::size_t members_of_groups(const EntryIndex& index) {
    std::size_t members = 0;
    index.for_each([&](const DirectoryEntry& entry) {
        if (!entry.group)
            return;
        for (const std::string& member : entry.members) {
            const DirectoryEntry* kept = index.by_dn(member);
            members += !kept || !kept->group;
        }
    });
    return members;
}

// Marks the plain account names that the directory matches with an account name outside the
// plain range (the only way this side's comparison could differ from the directory's); false
// when it could not be asked.
bool mark_doubtful_accounts(DirectoryProvider& provider, EntryIndex& index, std::string_view base) {
    constexpr std::size_t kPerSearch = 64;
    const std::vector<std::string> odd = index.accounts_outside_plain_range();
    std::vector<std::string> texts;
    for (std::size_t start = 0; start < odd.size(); start += kPerSearch) {
        const auto first = odd.begin() + static_cast<std::ptrdiff_t>(start);
        texts.push_back(account_match_text(
            base, {first,
                   first + static_cast<std::ptrdiff_t>(std::min(kPerSearch, odd.size() - start))}));
    }
    std::size_t answered = 0;
    provider.execute_all(texts, [&](std::size_t, std::unique_ptr<Recordset> set) {
        try {
            for (; !set->Eof(); set->MoveNext()) {
                const FieldValue accounts = set->Fields("samAccountName");
                if (const auto* one = std::get_if<std::string>(&accounts)) {
                    if (plain_name(*one))
                        index.mark_doubtful(*one);
                } else if (const auto* many = std::get_if<std::vector<std::string>>(&accounts)) {
                    for (const std::string& account : *many)
                        if (plain_name(account))
                            index.mark_doubtful(account);
                }
            }
            ++answered;
        } catch (const DirectoryError&) {
        }
    });
    return answered == texts.size();
}

}  // namespace

bool read_all_entries(DirectoryProvider& provider, EntryIndex& index, std::string_view base,
                      std::size_t names_needed, const BulkReadLimits& limits) {
    const std::size_t needed = std::max(limits.min_names, names_needed) * limits.entries_per_name;
    if (!read_category(provider, index, base, LookupKind::Group, [&] { return needed; }))
        return false;
    // The groups' members are counted only once the users pass what the read needs by itself.
    bool counted = false;
    const auto users_allowed = [&] {
        if (std::exchange(counted, true))
            return needed + members_of_groups(index) * limits.entries_per_name;
        return needed;
    };
    if (!read_category(provider, index, base, LookupKind::User, users_allowed) ||
        !mark_doubtful_accounts(provider, index, base))
        return false;
    index.all_entries_added();
    return true;
}

}  // namespace permscope::directory
