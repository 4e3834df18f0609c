#include "directory/entry_index.h"

#include <algorithm>

#include "common/text.h"
#include "directory/member_name.h"

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
    if (auto* name = std::get_if<std::string>(&record.fields[0]))
        entry.name = std::move(*name);
    else if (auto* names = std::get_if<std::vector<std::string>>(&record.fields[0]);
             names && !names->empty())
        entry.name = std::move(names->front());
    entry.accounts = std::move(record.fields[1]);
    entry.members = texts_of(record.fields[2]);
    return entry;
}

std::span<const std::string> DirectoryEntry::account_names() const {
    if (const auto* one = std::get_if<std::string>(&accounts))
        return {one, 1};
    if (const auto* many = std::get_if<std::vector<std::string>>(&accounts))
        return *many;
    return {};
}

const DirectoryEntry& EntryIndex::add(DirectoryEntry entry) {
    if (!entry.dn.empty()) {
        if (const DirectoryEntry* known = by_dn_.find(entries_, entry.dn)) {
            auto& kept = const_cast<DirectoryEntry&>(*known);
            kept.group = kept.group || entry.group;
            kept.user = kept.user || entry.user;
            return kept;
        }
    }
    const auto id = static_cast<std::uint32_t>(entries_.size());
    DirectoryEntry& kept = entries_.emplace_back(std::move(entry));
    if (!kept.dn.empty())
        by_dn_.add(entries_, id);
    const std::span<const std::string> accounts = kept.account_names();
    for (std::size_t a = 0; a < accounts.size(); ++a) {
        const std::string& account = accounts[a];
        // An entry counts once for each folded name it carries.
        const auto same = [&](const std::string& other) {
            return equals_ignoring_case(other, account);
        };
        if (std::any_of(accounts.begin(), accounts.begin() + static_cast<std::ptrdiff_t>(a), same))
            continue;
        Carriers& carriers = *by_account_.try_emplace(ascii_lower(account)).first;
        if (carriers.count++ == 0) {
            carriers.first = id;
            carriers.account = account;
        }
    }
    return kept;
}

void EntryIndex::lookups_complete(const std::vector<std::string>& names, LookupKind kind) {
    for (const std::string& name : names) {
        Completed& completed = *completed_.try_emplace(name).first;
        (kind == LookupKind::Group ? completed.group : completed.user) = true;
    }
}

void EntryIndex::no_match(const std::vector<std::string>& names) {
    for (const std::string& name : names)
        unmatched_.try_emplace(name);
}

void EntryIndex::mark_doubtful(std::string_view account) {
    by_account_.try_emplace(ascii_lower(account)).first->doubtful = true;
}

EntryIndex::Answers EntryIndex::lookup(std::string_view name) const {
    if (!plain_name(name)) {
        if (unmatched_.find(name))
            return {{true, nullptr}, {true, nullptr}};
        return {};
    }
    const Carriers* carriers = by_account_.find(ascii_lower(name));
    if (carriers && carriers->doubtful)
        return {};
    const bool carried = carriers && carriers->count > 0;
    // A read of all entries answers for a name that an entry carries; a name no entry carries
    // may still match an account name outside the plain range.
    Completed asked{all_entries_ && carried, all_entries_ && carried};
    if (!asked.group || !asked.user) {
        if (const Completed* completed = completed_.find(name)) {
            asked.group = asked.group || completed->group;
            asked.user = asked.user || completed->user;
        }
    }
    const DirectoryEntry* entry = nullptr;
    if (carried) {
        // The one carrier carries the name exactly, or (with several account names) another
        // of them does.
        if (carriers->count != 1)
            return {};
        entry = &entries_[carriers->first];
        const std::span<const std::string> accounts = entry->account_names();
        if (carriers->account != name &&
            std::find(accounts.begin(), accounts.end(), name) == accounts.end())
            return {};
    }
    return {{asked.group, asked.group && entry && entry->group ? entry : nullptr},
            {asked.user, asked.user && entry && entry->user ? entry : nullptr}};
}

const DirectoryEntry* EntryIndex::by_dn(std::string_view dn) const {
    return by_dn_.find(entries_, dn);
}

namespace {

// A distinguished name as the table keys it: with its escapes in one spelling.
struct DnKey {
    explicit DnKey(std::string_view dn) : uniform(uniform_dn(dn)), text(uniform ? *uniform : dn) {}
    std::optional<std::string> uniform;
    std::string_view text;
};

}  // namespace

const DirectoryEntry* EntryIndex::DnTable::find(const std::deque<DirectoryEntry>& entries,
                                                std::string_view dn) const {
    if (slots_.empty())
        return nullptr;
    const DnKey key(dn);
    const std::uint64_t hash = std::hash<std::string_view>{}(key.text);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        const Slot& slot = slots_[at];
        if (slot.id == UINT32_MAX)
            return nullptr;
        if (slot.hash == hash && DnKey(entries[slot.id].dn).text == key.text)
            return &entries[slot.id];
    }
}

void EntryIndex::DnTable::add(const std::deque<DirectoryEntry>& entries, std::uint32_t id) {
    if ((size_ + 1) * 2 > slots_.size()) {
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(old.empty() ? 16 : old.size() * 2, Slot{});
        for (const Slot& slot : old)
            if (slot.id != UINT32_MAX)
                place(slot);
    }
    place({std::hash<std::string_view>{}(DnKey(entries[id].dn).text), id});
    ++size_;
}

void EntryIndex::DnTable::place(const Slot& slot) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = slot.hash & mask;
    while (slots_[at].id != UINT32_MAX)
        at = (at + 1) & mask;
    slots_[at] = slot;
}

std::vector<std::string> EntryIndex::accounts_outside_plain_range() const {
    std::vector<std::string> accounts;
    for (const DirectoryEntry& entry : entries_)
        for (const std::string& account : entry.account_names())
            if (!plain_name(account))
                accounts.push_back(account);
    return accounts;
}

void EntryIndex::clear() {
    entries_.clear();
    by_dn_.clear();
    by_account_.clear();
    completed_.clear();
    unmatched_.clear();
    all_entries_ = false;
}

}  // namespace permscope::directory
