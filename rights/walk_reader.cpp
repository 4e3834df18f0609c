#include "rights/walk_reader.h"

#include <exception>
#include <utility>

namespace permscope::rights {

namespace {

// The lists of the last access lists read are kept up to this many rows in all (about 160 bytes a
// row): enough for the few hundred small lists a file server holds, bounded where the lists are
// large. On the benchmark's tree (200 lists of about 3,000 users each, 601 folders in full, medians
// of three) a walk keeping 500,000 rows took 1.24 times the union's and the lists' time at 171 MB,
// one keeping 250,000 rows 1.52 times at 139 MB.
constexpr std::size_t kKeptRows = 250'000;

// The access list as a text that equals another exactly when the two lists hold the same entries
// in the same order, with the same names, types and masks.
std::string key_of(const std::vector<platform::AccessEntry>& access_list) {
    std::string key;
    for (const platform::AccessEntry& entry : access_list) {
        key += std::to_string(entry.trustee_name.size()) + ':' + entry.trustee_name;
        key += ' ' + std::to_string(static_cast<int>(entry.type)) + ' ' +
               std::to_string(entry.access_mask) + '\n';
    }
    return key;
}

// Names each SID once: the names found, and the SIDs found to have none, are kept; a SID whose
// lookup failed is asked again.
class KeptSidNames : public platform::SidNaming {
  public:
    explicit KeptSidNames(platform::SidNaming& naming) : naming_(naming) {}

    platform::SidNames name_sids(const std::vector<std::string>& sids) override {
        std::vector<std::string> asked;
        for (const std::string& sid : sids)
            if (!known_.contains(sid))
                asked.push_back(sid);
        platform::SidNames answer = asked.empty() ? platform::SidNames{} : naming_.name_sids(asked);
        const std::unordered_set<std::string> failed(answer.not_looked_up.begin(),
                                                     answer.not_looked_up.end());
        for (const std::string& sid : asked) {
            const auto name = answer.names.find(sid);
            if (!failed.contains(sid))
                known_[sid] = name != answer.names.end() ? name->second : std::string();
        }
        for (const std::string& sid : sids)
            if (const auto known = known_.find(sid);
                known != known_.end() && !known->second.empty())
                answer.names[sid] = known->second;
        return answer;
    }

  private:
    platform::SidNaming& naming_;
    std::unordered_map<std::string, std::string> known_;  // SID -> name; empty: it has none
};

}  // namespace

WalkReader::WalkReader(directory::DirectoryProvider& directory,
                       std::function<std::string()> domain_name)
    : directory_(directory),
      resolver_(directory, domain_name),
      system_sid_naming_(platform::make_system_sid_naming()),
      directory_sid_naming_(directory, std::move(domain_name)),
      sid_naming_(*system_sid_naming_, directory_sid_naming_),
      kept_sid_names_(std::make_unique<KeptSidNames>(sid_naming_)) {}

WalkReader::~WalkReader() = default;

std::string_view WalkReader::kept_text(std::string_view text) {
    const auto found = texts_.find(text);
    return found != texts_.end() ? *found : *texts_.emplace(text).first;
}

// Group_check for one trustee of a folder: the rows noted for the name the first time it was
// resolved, or a resolution that notes them. Rows of a resolution that met a directory problem,
// or failed part way, are not noted: such a resolution may come out differently next time.
std::string WalkReader::check(FolderLists& lists, std::string& name, std::string head_group,
                              std::string& created_entries, bool& shareable) {
    if (head_group.empty()) {
        const auto found = resolved_.find(name);
        if (found != resolved_.end())
            return resolver_.enter_rows(lists.users, lists.groups, found->second, created_entries);
    }
    const std::string trustee = name;
    std::vector<directory::EnteredRow> rows;
    const directory::RowEntered note = [&](const directory::EnteredRow& row) {
        rows.push_back({row.group, kept_text(row.name), kept_text(row.head_group)});
    };
    const bool named_directly = head_group.empty();
    std::string result;
    try {
        result = resolver_.Group_check(lists.users, lists.groups, name, std::move(head_group),
                                       created_entries, note);
    } catch (const std::exception&) {
        shareable = false;
        throw;
    }
    if (!directory_.read_problem().empty())
        shareable = false;
    else if (named_directly)
        resolved_.emplace(trustee, std::move(rows));
    return result;
}

WalkReader::Read WalkReader::read(platform::SecurityDescriptor descriptor,
                                  FolderReadOutcome& outcome) {
    return read(named_access_list(std::move(descriptor), kept_sid_names_.get(), outcome));
}

WalkReader::Read WalkReader::read(const std::vector<platform::AccessEntry>& access_list) {
    std::string key = key_of(access_list);
    if (const auto found = kept_.find(key); found != kept_.end())
        return found->second;
    auto lists = std::make_shared<FolderLists>();
    bool shareable = true;
    const GroupCheck group_check = [&](std::string& name, std::string head_group,
                                       std::string& created_entries) {
        return check(*lists, name, std::move(head_group), created_entries, shareable);
    };
    read_access_entries(access_list, lists->users, lists->groups, group_check);
    Read result{std::move(lists), shareable ? std::string() : directory_.read_problem()};
    if (shareable)
        keep(std::move(key), result);
    return result;
}

void WalkReader::keep(std::string key, const Read& read) {
    const auto rows = [](const Read& r) {
        return static_cast<std::size_t>(r.lists->users.count() + r.lists->groups.count());
    };
    if (rows(read) > kKeptRows)
        return;
    kept_rows_ += rows(read);
    kept_order_.push_back(key);
    kept_.emplace(std::move(key), read);
    while (kept_rows_ > kKeptRows) {
        const auto oldest = kept_.find(kept_order_.front());
        kept_rows_ -= rows(oldest->second);
        kept_.erase(oldest);
        kept_order_.pop_front();
    }
}

std::string WalkReader::finish() {
    kept_.clear();
    kept_order_.clear();
    kept_rows_ = 0;
    resolved_.clear();
    texts_.clear();
    kept_sid_names_ = std::make_unique<KeptSidNames>(sid_naming_);
    return resolver_.folder_read_finished();
}

}  // namespace permscope::rights
