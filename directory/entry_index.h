#pragma once
// The directory entries a folder read has been told about, each kept once as it arrives, found by
// its case-folded account name and by its distinguished name; and for which account names a
// group or user lookup can be answered from them exactly as the directory would answer it.
//
// The directory matches account names with its own rule (caseIgnoreMatch in OpenLDAP: case
// folded, runs of blanks insignificant, Unicode normalised; a similar one in Active Directory).
// This side repeats only the part of it that holds for names of printable ASCII without blanks,
// where a match means equal letters without regard to case, and lets the directory answer every
// other name:
// - only such names ("plain" names) are answered here;
// - a lookup of a name is answered where every entry it can match is known: a batch search that
//   asked for the name and came back with plain account names only, or a read of all groups and
//   users (then only for a name that some entry carries, and that no account name outside the
//   plain range matches, which the directory itself is asked about);
// - it is answered when no known entry carries the name in any case (then none matches), or when
//   exactly one carries it exactly; a name that only a case variant carries, or several entries,
//   is asked on its own.
// A name outside the plain range is answered only where the directory said that no account name
// matches it (Active Directory's members are mostly named by display names, "CN=Hans Müller",
// that are no account name).

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/flat_string_map.h"
#include "directory/answer_store.h"

namespace permscope::directory {

// What the resolution reads of a group or user entry.
struct DirectoryEntry {
    std::string dn;
    std::string sid;                  // binary objectSid; empty for none
    std::optional<std::string> name;  // the first value of Name
    FieldValue accounts;  // samAccountName: one text, several, or none, as the record had it
    std::vector<std::string> members;  // member values, in the directory's order
    bool group = false;                // matches objectCategory='Group'
    bool user = false;                 // matches objectCategory='User'

    std::span<const std::string> account_names() const;
};

enum class LookupKind { Group, User };

// A record of a lookup's answer (the fields Name, samAccountName, Member, in that order, as the
// lookups select them) as an entry, its values moved over.
DirectoryEntry entry_of_lookup_record(StoredRecord record);

// True for a non-empty name of printable ASCII characters without blanks.
bool plain_name(std::string_view name);

class EntryIndex {
  public:
    // The answer to one lookup: decided (with the entry it finds, or none), or left to the
    // directory.
    struct Answer {
        bool decided = false;
        const DirectoryEntry* entry = nullptr;
    };

    // Keeps an entry, its group and user marks saying which lookups' searches found it. An
    // entry met before (the same distinguished name) only learns the marks. Returns the kept
    // entry; it stays in place until clear().
    const DirectoryEntry& add(DirectoryEntry entry);

    // A batch of lookups of kind for names came back complete: every entry that matches one of
    // them has been added.
    void lookups_complete(const std::vector<std::string>& names, LookupKind kind);
    // No account name of any category matches one of names (the directory's word for names
    // outside the plain range): their lookups find nothing.
    void no_match(const std::vector<std::string>& names);
    // Every group and every user has been added.
    void all_entries_added() { all_entries_ = true; }
    bool has_all_entries() const { return all_entries_; }
    // The directory matches the account name with an account name outside the plain range: the
    // name is left to its own lookups.
    void mark_doubtful(std::string_view account);

    // The group and the user lookup of a name.
    struct Answers {
        Answer group;
        Answer user;
    };
    Answers lookup(std::string_view name) const;
    Answer lookup(std::string_view name, LookupKind kind) const {
        const Answers answers = lookup(name);
        return kind == LookupKind::Group ? answers.group : answers.user;
    }

    const DirectoryEntry* by_dn(std::string_view dn) const;
    // The account names of the entries kept that fall outside the plain range.
    std::vector<std::string> accounts_outside_plain_range() const;

    template <typename Visit>
    void for_each(const Visit& visit) const {
        for (const DirectoryEntry& entry : entries_)
            visit(entry);
    }
    std::size_t size() const { return entries_.size(); }
    void clear();

  private:
    // The entries that carry one case-folded account name: how many, and the first with the
    // account name as it carries it (kept here, where a look-up reads it anyway).
    struct Carriers {
        std::uint32_t first = 0;
        std::uint32_t count = 0;
        bool doubtful = false;
        std::string account;
    };
    // Which lookups of an exact name came back complete.
    struct Completed {
        bool group = false;
        bool user = false;
    };

    // Entries by distinguished name: the hash and place of each, probed linearly, the names
    // themselves read from the entries (a hundred thousand names are not kept twice).
    class DnTable {
      public:
        const DirectoryEntry* find(const std::deque<DirectoryEntry>& entries,
                                   std::string_view dn) const;
        void add(const std::deque<DirectoryEntry>& entries, std::uint32_t id);
        void clear() { slots_.clear(), size_ = 0; }

      private:
        struct Slot {
            std::uint64_t hash = 0;
            std::uint32_t id = UINT32_MAX;
        };
        void place(const Slot& slot);
        std::vector<Slot> slots_;  // a power of two in number, at most half full
        std::size_t size_ = 0;
    };

    std::deque<DirectoryEntry> entries_;
    DnTable by_dn_;
    FlatStringMap<Carriers> by_account_;  // case-folded account name -> entries
    FlatStringMap<Completed> completed_;  // exact name asked
    FlatStringMap<bool> unmatched_;       // exact name that no account name matches
    bool all_entries_ = false;
};

}  // namespace permscope::directory
