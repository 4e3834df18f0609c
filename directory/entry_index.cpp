#include "directory/entry_index.h"

#include <algorithm>

#include "common/text.h"

namespace permscope::directory {

bool plain_name(std::string_view name) {
    if (name.empty())
        return false;
    for (const char c : name)
        if (c <= ' ' || c > '~')
            return false;
    return true;
}

namespace {

std::vector<std::string> texts_of(FieldValue& value) {
    if (auto* texts = std::get_if<std::vector<std::string>>(&value))
        return std::move(*texts);
    if (auto* text = std::get_if<std::string>(&value))
        return {std::move(*text)};
    return {};
}

}  // namespace

DirectoryEntry entry_of_lookup_record(StoredRecord record) {
    DirectoryEntry entry;
    entry.dn = std::move(record.dn);
    entry.sid = std::move(record.sid);
    record.fields.resize(3);
    std::vector<std::string> names = texts_of(record.fields[0]);
    if (!names.empty())
        entry.name = std::move(names.front());
    entry.accounts = texts_of(record.fields[1]);
    entry.members = texts_of(record.fields[2]);
    return entry;
}

const DirectoryEntry& EntryIndex::add(DirectoryEntry entry) {
    if (!entry.dn.empty()) {
        if (const std::uint32_t* known = by_dn_.find(entry.dn)) {
            DirectoryEntry& kept = entries_[*known];
            kept.group = kept.group || entry.group;
            kept.user = kept.user || entry.user;
            return kept;
        }
    }
    const auto id = static_cast<std::uint32_t>(entries_.size());
    DirectoryEntry& kept = entries_.emplace_back(std::move(entry));
    if (!kept.dn.empty())
        *by_dn_.try_emplace(kept.dn).first = id;
    std::vector<std::string> folded;  // one entry counts once for each folded name it carries
    for (const std::string& account : kept.accounts) {
        std::string key = ascii_lower(account);
        if (std::find(folded.begin(), folded.end(), key) != folded.end())
            continue;
        Carriers& carriers = *by_account_.try_emplace(key).first;
        if (carriers.count++ == 0)
            carriers.first = id;
        folded.push_back(std::move(key));
    }
    return kept;
}

void EntryIndex::lookups_complete(const std::vector<std::string>& names, LookupKind kind) {
    for (const std::string& name : names) {
        Completed& completed = *completed_.try_emplace(name).first;
        (kind == LookupKind::Group ? completed.group : completed.user) = true;
    }
}

void EntryIndex::mark_doubtful(std::string_view account) {
    by_account_.try_emplace(ascii_lower(account)).first->doubtful = true;
}

EntryIndex::Answer EntryIndex::lookup(std::string_view name, LookupKind kind) const {
    if (!plain_name(name))
        return {};
    const Carriers* carriers = by_account_.find(ascii_lower(name));
    if (carriers && carriers->doubtful)
        return {};
    const Completed* completed = completed_.find(name);
    const bool asked =
        completed && (kind == LookupKind::Group ? completed->group : completed->user);
    const bool carried = carriers && carriers->count > 0;
    // A read of all entries answers for a name that an entry carries; a name no entry carries
    // may still match an account name outside the plain range.
    if (!asked && !(all_entries_ && carried))
        return {};
    if (!carried)
        return {true, nullptr};
    if (carriers->count != 1)
        return {};
    const DirectoryEntry& entry = entries_[carriers->first];
    if (std::find(entry.accounts.begin(), entry.accounts.end(), name) == entry.accounts.end())
        return {};
    const bool matches = kind == LookupKind::Group ? entry.group : entry.user;
    return {true, matches ? &entry : nullptr};
}

const DirectoryEntry* EntryIndex::by_dn(std::string_view dn) const {
    const std::uint32_t* id = by_dn_.find(dn);
    return id ? &entries_[*id] : nullptr;
}

std::vector<std::string> EntryIndex::accounts_outside_plain_range() const {
    std::vector<std::string> accounts;
    for (const DirectoryEntry& entry : entries_)
        for (const std::string& account : entry.accounts)
            if (!plain_name(account))
                accounts.push_back(account);
    return accounts;
}

void EntryIndex::clear() {
    entries_.clear();
    by_dn_.clear();
    by_account_.clear();
    completed_.clear();
    all_entries_ = false;
}

}  // namespace permscope::directory
