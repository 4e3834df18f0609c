#include "directory/sid_names.h"

#include <algorithm>
#include <optional>

#include "directory/query_dialect.h"

namespace permscope::directory {

namespace {

std::optional<std::string> account_name_of(const Recordset& set) {
    const FieldValue value = set.Fields("samAccountName");
    if (const auto* text = std::get_if<std::string>(&value); text && !text->empty())
        return *text;
    if (const auto* texts = std::get_if<std::vector<std::string>>(&value);
        texts && !texts->empty() && !texts->front().empty())
        return texts->front();
    return std::nullopt;
}

// Every record's account name under its SID text.
void read_names(Recordset& set, platform::SidNames& named) {
    for (; !set.Eof(); set.MoveNext()) {
        const auto sid = platform::parse_binary_sid(set.SecurityIdentifier());
        const auto name = account_name_of(set);
        if (sid && name)
            named.names.emplace(sid->text, *name);
    }
}

}  // namespace

DirectorySidNaming::DirectorySidNaming(DirectoryProvider& provider,
                                       std::function<std::string()> domain_name,
                                       std::size_t sids_per_search)
    : provider_(provider),
      domain_name_(std::move(domain_name)),
      sids_per_search_(std::max<std::size_t>(sids_per_search, 1)) {}

platform::SidNames DirectorySidNaming::name_sids(const std::vector<std::string>& sids) {
    platform::SidNames named;
    const std::string domain = domain_name_();
    if (domain.empty())
        return named;
    const std::string base = base_name(domain);
    // Each search's SIDs, as texts and as the binary values its query compares.
    std::vector<std::vector<std::string>> asked;
    std::vector<std::vector<std::string>> binaries;
    for (const std::string& sid : sids) {
        const auto binary = platform::binary_sid(sid);
        if (!binary)
            continue;
        if (asked.empty() || asked.back().size() == sids_per_search_) {
            asked.emplace_back();
            binaries.emplace_back();
        }
        asked.back().push_back(sid);
        binaries.back().push_back(*binary);
    }
    std::vector<std::string> texts;
    for (const auto& batch : binaries)
        texts.push_back(sid_lookup_text(base, batch));
    std::vector<bool> answered(texts.size(), false);
    provider_.execute_all(texts, [&](std::size_t index, std::unique_ptr<Recordset> set) {
        answered[index] = true;
        read_names(*set, named);
    });
    for (std::size_t i = 0; i < asked.size(); ++i)
        if (!answered[i])
            named.not_looked_up.insert(named.not_looked_up.end(), asked[i].begin(), asked[i].end());
    if (!named.not_looked_up.empty())
        named.problem = "The directory could not be searched for the accounts' names.";
    return named;
}

}  // namespace permscope::directory
