#include "directory/query_dialect.h"

#include <lber.h>
#include <ldap.h>
#include <cctype>
#include <cstdint>

#include "common/text.h"

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

// A value as the dialect quotes it inside '…': every apostrophe doubled, so that "O'Brien" is
// looked up as itself instead of ending the quoted value early.
std::string quoted_value(std::string_view value) {
    std::string quoted;
    quoted.reserve(value.size());
    append_quoted(quoted, value);
    return quoted;
}

}  // namespace

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

std::string sid_lookup_text(std::string_view base, const std::vector<std::string>& sids) {
    std::string text = "SELECT samAccountName FROM 'LDAP://";
    text += base;
    text += "' WHERE ";
    for (std::size_t i = 0; i < sids.size(); ++i) {
        text += i > 0 ? " or objectSid='" : "objectSid='";
        append_quoted(text, sids[i]);
        text += "'";
    }
    return text;
}

std::string category_text(std::string_view base, std::string_view category) {
    std::string text = "SELECT Name, samAccountName, Member FROM 'LDAP://";
    text += base;
    text += "' WHERE objectCategory='";
    append_quoted(text, category);
    text += "'";
    return text;
}

std::string account_match_text(std::string_view base, const std::vector<std::string>& names) {
    std::string text = "SELECT samAccountName FROM 'LDAP://";
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

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool is_name_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

// Reads the query text token by token, front to back.
class Parser {
  public:
    explicit Parser(std::string_view text) : text_(text) {}

    Query query() {
        Query q;
        expect_keyword("SELECT");
        q.attributes.push_back(name());
        while (accept(','))
            q.attributes.push_back(name());
        expect_keyword("FROM");
        split_from(quoted(), q);
        if (accept_keyword("WHERE"))
            q.where = disjunction();
        skip_blanks();
        if (pos_ != text_.size())
            fail("unexpected text after the query");
        return q;
    }

  private:
    [[noreturn]] void fail(const std::string& why) const {
        throw DialectError("query text not understood at offset " + std::to_string(pos_) + ": " +
                           why);
    }

    void skip_blanks() {
        while (pos_ < text_.size() && is_blank(text_[pos_]))
            ++pos_;
    }

    bool accept(char c) {
        skip_blanks();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    std::string_view peek_word() {
        skip_blanks();
        std::size_t end = pos_;
        while (end < text_.size() && is_name_char(text_[end]))
            ++end;
        return text_.substr(pos_, end - pos_);
    }

    bool accept_keyword(std::string_view keyword) {
        const std::string_view word = peek_word();
        if (!equals_ignoring_case(word, keyword))
            return false;
        pos_ += word.size();
        return true;
    }

    void expect_keyword(std::string_view keyword) {
        if (!accept_keyword(keyword))
            fail("expected " + std::string(keyword));
    }

    std::string name() {
        const std::string_view word = peek_word();
        if (word.empty() || !std::isalnum(static_cast<unsigned char>(word.front())))
            fail("expected an attribute name");
        pos_ += word.size();
        return std::string(word);
    }

    // A text in apostrophes, '' standing for one apostrophe.
    std::string quoted() {
        if (!accept('\''))
            fail("expected a quoted text");
        std::string value;
        while (true) {
            if (pos_ >= text_.size())
                fail("quoted text not closed");
            const char c = text_[pos_++];
            if (c != '\'') {
                value += c;
            } else if (pos_ < text_.size() && text_[pos_] == '\'') {
                value += '\'';
                ++pos_;
            } else {
                return value;
            }
        }
    }

    void split_from(const std::string& from, Query& q) {
        constexpr std::string_view scheme = "LDAP://";
        if (from.size() < scheme.size() ||
            !equals_ignoring_case(std::string_view(from).substr(0, scheme.size()), scheme))
            fail("the FROM text does not begin with LDAP://");
        const std::string rest = from.substr(scheme.size());
        const std::size_t slash = rest.find('/');
        if (slash != std::string::npos && rest.substr(0, slash).find('=') == std::string::npos) {
            q.host = rest.substr(0, slash);
            q.base = rest.substr(slash + 1);
            if (q.host.empty())
                fail("empty host name");
        } else {
            q.base = rest;
        }
    }

    Condition disjunction() {
        Condition c = conjunction();
        bool joined = false;
        while (accept_keyword("OR")) {
            Condition next = conjunction();
            if (!joined)
                start_run(Condition::Kind::Or, c);
            c.operands.push_back(std::move(next));
            joined = true;
        }
        return c;
    }

    Condition conjunction() {
        Condition c = unary();
        bool joined = false;
        while (accept_keyword("AND")) {
            Condition next = unary();
            if (!joined)
                start_run(Condition::Kind::And, c);
            c.operands.push_back(std::move(next));
            joined = true;
        }
        return c;
    }

    // Turns c into a node of the given kind whose first operand is the old c.
    static void start_run(Condition::Kind kind, Condition& c) {
        Condition run;
        run.kind = kind;
        run.operands.push_back(std::move(c));
        c = std::move(run);
    }

    // One level deeper for each NOT and each parenthesis. A condition nested deeper than any
    // query needs is refused before the recursion can run out of stack.
    void enter_nesting() {
        constexpr int kMaxNesting = 256;
        if (++depth_ > kMaxNesting)
            fail("conditions nested too deeply");
    }

    Condition unary() {
        if (accept_keyword("NOT")) {
            enter_nesting();
            Condition negated;
            negated.kind = Condition::Kind::Not;
            negated.operands.push_back(unary());
            --depth_;
            return negated;
        }
        if (accept('(')) {
            enter_nesting();
            Condition inner = disjunction();
            if (!accept(')'))
                fail("expected )");
            --depth_;
            return inner;
        }
        Condition term;
        term.attribute = name();
        if (!accept('='))
            fail("expected =");
        term.value = quoted();
        return term;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    int depth_ = 0;
};

std::string escaped(const std::string& value) {
    berval in;
    in.bv_val = const_cast<char*>(value.data());
    in.bv_len = value.size();
    berval out{0, nullptr};
    if (ldap_bv2escaped_filter_value(&in, &out) != 0)
        throw DirectoryError("out of memory");
    std::string result(out.bv_val, out.bv_len);
    ber_memfree(out.bv_val);
    return result;
}

void append_filter(const Condition& c, std::string& filter) {
    filter += '(';
    switch (c.kind) {
        case Condition::Kind::Equals:
            filter += c.attribute;
            filter += '=';
            filter += escaped(c.value);
            break;
        case Condition::Kind::And:
        case Condition::Kind::Or:
        case Condition::Kind::Not:
            filter += c.kind == Condition::Kind::And  ? '&'
                      : c.kind == Condition::Kind::Or ? '|'
                                                      : '!';
            for (const Condition& operand : c.operands)
                append_filter(operand, filter);
            break;
    }
    filter += ')';
}

}  // namespace

Query parse_query(std::string_view text) {
    return Parser(text).query();
}

std::string ldap_filter(const std::optional<Condition>& where) {
    if (!where)
        return "(objectClass=*)";
    std::string filter;
    append_filter(*where, filter);
    return filter;
}

}  // namespace permscope::directory
