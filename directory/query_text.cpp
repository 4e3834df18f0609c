#include "directory/query_text.h"

#include <cstdint>

#include "common/name_list.h"

namespace permscope::directory {

std::string base_name(std::string_view domain_name) {
    std::string base;
    if (domain_name.empty())
        return base;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = domain_name.find('.', start);
        if (!base.empty())
            base += ',';
        base += "dc=";
        base += domain_name.substr(start, dot == std::string_view::npos ? dot : dot - start);
        if (dot == std::string_view::npos)
            break;
        start = dot + 1;
    }
    return base;
}

namespace {

void append_quoted(std::string& text, std::string_view value) {
    for (std::size_t quote; (quote = value.find('\'')) != std::string_view::npos;
         value.remove_prefix(quote + 1)) {
        text.append(value.substr(0, quote + 1));
        text += '\'';
    }
    text.append(value);
}

// A lookup runs once or twice for every name a read meets: its text is built in one piece.
void assign_lookup_text(std::string& text, std::string_view base, std::string_view category,
                        std::string_view name) {
    constexpr std::string_view select = "SELECT Name, samAccountName, Member FROM 'LDAP://";
    constexpr std::string_view where = "' WHERE objectCategory='";
    constexpr std::string_view account = "' and samAccountName='";
    text.clear();
    text.reserve(select.size() + base.size() + where.size() + category.size() + account.size() +
                 2 * name.size() + 1);
    text += select;
    text += base;
    text += where;
    text += category;
    text += account;
    append_quoted(text, name);
    text += '\'';
}

void append_account_terms(std::string& text, const std::vector<std::string>& names) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            text += " or ";
        text += "samAccountName='";
        append_quoted(text, names[i]);
        text += "'";
    }
}

}  // namespace

std::string quoted_value(std::string_view value) {
    std::string quoted;
    quoted.reserve(value.size());
    append_quoted(quoted, value);
    return quoted;
}

std::string batch_lookup_text(std::string_view base, std::string_view category,
                              const std::vector<std::string>& names) {
    std::string text = "SELECT Name, samAccountName, Member FROM 'LDAP://";
    text += base;
    text += "' WHERE objectCategory='";
    text += category;
    text += "' and (";
    append_account_terms(text, names);
    text += ")";
    return text;
}

std::string batch_account_lookup_text(std::string_view base,
                                      const std::vector<std::string>& names) {
    std::string text = "SELECT Name, samAccountName, Member, objectCategory FROM 'LDAP://";
    text += base;
    text += "' WHERE ";
    append_account_terms(text, names);
    return text;
}

std::string group_lookup_text(std::string_view base, std::string_view name) {
    std::string text;
    assign_group_lookup_text(text, base, name);
    return text;
}

std::string user_lookup_text(std::string_view base, std::string_view name) {
    std::string text;
    assign_user_lookup_text(text, base, name);
    return text;
}

void assign_group_lookup_text(std::string& text, std::string_view base, std::string_view name) {
    assign_lookup_text(text, base, "Group", name);
}

void assign_user_lookup_text(std::string& text, std::string_view base, std::string_view name) {
    assign_lookup_text(text, base, "User", name);
}

std::string entry_read_text(std::string_view distinguished_name) {
    return "SELECT samAccountName, objectCategory FROM 'LDAP://" +
           quoted_value(distinguished_name) + "'";
}

std::string primary_group_members_text(std::string_view base, std::uint32_t rid) {
    std::string text = "SELECT Name, samAccountName FROM 'LDAP://";
    text += base;
    text += "' WHERE primaryGroupID='";
    text += std::to_string(rid);
    text += "'";
    return text;
}

}  // namespace permscope::directory
