#include "directory/ldap_search.h"

#include "common/ascii_case.h"
#include "directory/member_name.h"

#include <lber.h>

#include <algorithm>
#include <charconv>
#include <memory>
#include <unordered_map>

namespace permscope::directory {

namespace {

using Clock = std::chrono::steady_clock;

struct MessageDeleter {
    void operator()(LDAPMessage* message) const { ldap_msgfree(message); }
};
using Message = std::unique_ptr<LDAPMessage, MessageDeleter>;

[[noreturn]] void throw_for_handle(LDAP* ld, const std::string& what) {
    int code = LDAP_OTHER;
    ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &code);
    throw ServerLost(what + " (" + ldap_err2string(code) + ")");
}

// Null-terminated array of the attribute names, pointing into names.
std::vector<char*> attribute_array(const std::vector<std::string>& names) {
    std::vector<char*> array;
    for (const std::string& name : names)
        array.push_back(const_cast<char*>(name.c_str()));
    array.push_back(nullptr);
    return array;
}

// Waits for the next message of msgid, at most silence and never past deadline; the search is
// abandoned when either passes. A message that stops half way counts as silence too: the
// connection's socket gives up a blocked read after the same time (see ldap_servers.cpp).
Message next_message(LDAP* ld, int msgid, Clock::time_point deadline,
                     std::chrono::milliseconds silence) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
        std::min<Clock::duration>(deadline - Clock::now(), silence));
    timeval wait{0, 0};
    if (left.count() > 0) {
        wait.tv_sec = static_cast<time_t>(left.count() / 1000000);
        wait.tv_usec = static_cast<suseconds_t>(left.count() % 1000000);
    }
    LDAPMessage* raw = nullptr;
    const int rc = ldap_result(ld, msgid, LDAP_MSG_ONE, &wait, &raw);
    Message message(raw);
    if (rc == 0) {
        if (msgid != LDAP_RES_ANY)
            ldap_abandon_ext(ld, msgid, nullptr, nullptr);
        if (Clock::now() >= deadline)
            throw ServerSilent("did not finish its answer in time");
        throw ServerSilent("stopped answering (no answer within " + seconds_text(silence) + ")");
    }
    if (rc < 0 || !message)
        throw_for_handle(ld, "dropped the connection");
    return message;
}

// An attribute that came with a range option, by its place in the record.
struct RangedAttribute {
    std::size_t record;
    std::size_t attribute;
    AttributeRange range;
};

// Reads the entry in one pass over its encoding: names and values are copied straight from the
// message, which libldap's per-attribute value lookups would scan again for every attribute.
LdapRecord read_entry(LDAP* ld, LDAPMessage* entry, std::size_t record_index,
                      std::vector<RangedAttribute>& ranged) {
    LdapRecord record;
    BerElement* ber = nullptr;
    berval dn{0, nullptr};
    if (ldap_get_dn_ber(ld, entry, &ber, &dn) != LDAP_SUCCESS) {
        // An entry whose encoding cannot be read counts as one without name or attributes.
        if (ber)
            ber_free(ber, 0);
        return record;
    }
    if (dn.bv_val)
        record.dn.assign(dn.bv_val, dn.bv_len);
    record.attributes.reserve(4);
    berval name{0, nullptr};
    berval* values = nullptr;
    while (ldap_get_attribute_ber(ld, entry, ber, &name, &values) == LDAP_SUCCESS && name.bv_val) {
        const std::string_view name_text(name.bv_val, name.bv_len);
        LdapRecord::Attribute attribute;
        std::optional<AttributeRange> range = parse_attribute_range(name_text);
        attribute.name = range ? range->name : std::string(name_text);
        if (values) {
            std::size_t count = 0;
            while (values[count].bv_val)
                ++count;
            attribute.values.reserve(count);
            for (const berval* v = values; v->bv_val; ++v)
                attribute.values.emplace_back(v->bv_val, v->bv_len);
            ber_memfree(values);
            values = nullptr;
        }
        if (range)
            ranged.push_back({record_index, record.attributes.size(), std::move(*range)});
        record.attributes.push_back(std::move(attribute));
    }
    ber_free(ber, 0);
    return record;
}

struct Page {
    std::vector<LdapRecord> records;
    std::vector<RangedAttribute> ranged;
    std::string cookie;  // empty after the last page
};

LDAPControl* make_page_control(LDAP* ld, int page_size, const std::string& cookie) {
    berval cookie_value{static_cast<ber_len_t>(cookie.size()), const_cast<char*>(cookie.data())};
    LDAPControl* control = nullptr;
    if (ldap_create_page_control(ld, page_size, &cookie_value, 0, &control) != LDAP_SUCCESS)
        throw DirectoryError("cannot build the paging control");
    return control;
}

int send_search(LDAP* ld, const LdapSearchRequest& request, LDAPControl* page_control) {
    LDAPControl* controls[] = {page_control, nullptr};
    std::vector<char*> attributes = attribute_array(request.attributes);
    timeval limit{static_cast<time_t>(request.time_limit.count()), 0};
    int msgid = 0;
    const std::string base = dn_text_for_c(request.base);
    const int rc = ldap_search_ext(ld, base.c_str(), request.scope, request.filter.c_str(),
                                   attributes.data(), 0, page_control ? controls : nullptr, nullptr,
                                   &limit, LDAP_NO_LIMIT, &msgid);
    if (rc == LDAP_SERVER_DOWN || rc == LDAP_CONNECT_ERROR || rc == LDAP_TIMEOUT)
        throw ServerLost(std::string("sending the search failed: ") + ldap_err2string(rc));
    if (rc != LDAP_SUCCESS)
        throw DirectoryError(std::string("the search was refused: ") + ldap_err2string(rc));
    return msgid;
}

// The cookie of the paged-results answer among the result's controls; empty on the last page.
std::string next_cookie(LDAP* ld, LDAPControl** server_controls) {
    LDAPControl* response = ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, server_controls, nullptr);
    if (!response)
        return {};
    ber_int_t estimate = 0;
    berval next{0, nullptr};
    if (ldap_parse_pageresponse_control(ld, response, &estimate, &next) != LDAP_SUCCESS)
        throw DirectoryError("the paging answer cannot be read");
    std::string cookie(next.bv_val ? next.bv_val : "", next.bv_len);
    ber_memfree(next.bv_val);
    return cookie;
}

// Reads the result that ends one page of a search. Returns the cookie that asks for the next page
// (empty after the last one, and for an unpaged search). Throws ServerRefused when the server
// refuses the search for who asks, DirectoryError when it fails this search alone.
std::string end_of_page(LDAP* ld, LDAPMessage* result, bool paged) {
    int code = LDAP_OTHER;
    char* server_text = nullptr;
    LDAPControl** server_controls = nullptr;
    if (ldap_parse_result(ld, result, &code, nullptr, &server_text, nullptr, &server_controls, 0) !=
        LDAP_SUCCESS)
        throw_for_handle(ld, "sent a search result that cannot be read");
    std::unique_ptr<LDAPControl*, void (*)(LDAPControl**)> controls_owner(server_controls,
                                                                          ldap_controls_free);
    std::string reason = ldap_err2string(code);
    if (server_text) {
        if (*server_text)
            reason += std::string(": ") + server_text;
        ldap_memfree(server_text);
    }
    if (code != LDAP_SUCCESS && refuses_who_asks(code))
        throw ServerRefused("refused the search (" + reason + ")");
    if (code != LDAP_SUCCESS)
        throw DirectoryError("the search failed: " + reason);
    return paged ? next_cookie(ld, server_controls) : std::string();
}

Page run_page(LDAP* ld, const LdapSearchRequest& request, const std::string& cookie,
              std::size_t first_record, bool paged) {
    std::unique_ptr<LDAPControl, void (*)(LDAPControl*)> page_control(
        paged ? make_page_control(ld, request.page_size, cookie) : nullptr, ldap_control_free);
    const int msgid = send_search(ld, request, page_control.get());
    const Clock::time_point deadline = Clock::now() + request.time_limit + request.grace;
    Page page;
    while (true) {
        Message message = next_message(ld, msgid, deadline, request.silence);
        const int type = ldap_msgtype(message.get());
        if (type == LDAP_RES_SEARCH_ENTRY) {
            page.records.push_back(
                read_entry(ld, message.get(), first_record + page.records.size(), page.ranged));
            continue;
        }
        if (type != LDAP_RES_SEARCH_RESULT)
            continue;  // continuation references are skipped
        page.cookie = end_of_page(ld, message.get(), paged);
        return page;
    }
}

// Fetches the values of a ranged attribute that come after the first part, part by part, until
// the server names the last part ("…-*").
void complete_range(LDAP* ld, const LdapSearchRequest& request, LdapRecord& record,
                    const RangedAttribute& first_part) {
    std::vector<std::string>& values = record.attributes[first_part.attribute].values;
    const std::string& name = record.attributes[first_part.attribute].name;
    std::optional<long long> high = first_part.range.high;
    while (high) {
        const long long low = *high + 1;
        LdapSearchRequest part = request;
        part.base = record.dn;
        part.scope = LDAP_SCOPE_BASE;
        part.filter = "(objectClass=*)";
        part.attributes = {name + ";range=" + std::to_string(low) + "-*"};
        Page answer = run_page(ld, part, {}, 0, false);
        if (answer.records.size() != 1)
            throw DirectoryError("the entry of a ranged attribute could not be read again");
        LdapRecord& next = answer.records.front();
        high.reset();
        for (const RangedAttribute& ranged : answer.ranged) {
            if (!equals_ignoring_case(next.attributes[ranged.attribute].name, name))
                continue;
            if (ranged.range.low != low)
                throw DirectoryError("the directory answered a different range of " + name);
            std::vector<std::string>& more = next.attributes[ranged.attribute].values;
            values.insert(values.end(), std::make_move_iterator(more.begin()),
                          std::make_move_iterator(more.end()));
            high = ranged.range.high;
        }
    }
}

// One search of run_searches while its answers come in.
struct RunningSearch {
    std::vector<LdapRecord> records;
    std::vector<RangedAttribute> ranged;
    bool paged = false;
    bool failed = false;
    bool handed_over = false;
    Clock::time_point deadline;  // for the whole answer, pages included
};

// Sends the search (or its next page) and notes which search the message id belongs to.
void send_page(LDAP* ld, const LdapSearchRequest& request, RunningSearch& search,
               const std::string& cookie, std::size_t index,
               std::unordered_map<int, std::size_t>& waiting) {
    std::unique_ptr<LDAPControl, void (*)(LDAPControl*)> page_control(
        search.paged ? make_page_control(ld, request.page_size, cookie) : nullptr,
        ldap_control_free);
    try {
        waiting.emplace(send_search(ld, request, page_control.get()), index);
    } catch (const ServerUnusable&) {
        throw;
    } catch (const DirectoryError&) {
        search.failed = true;
    }
}

// The end of one page: the next page is asked for, or the search is complete.
void finish_page(LDAP* ld, LDAPMessage* message, const LdapSearchRequest& request,
                 RunningSearch& search, std::size_t index,
                 std::unordered_map<int, std::size_t>& waiting) {
    try {
        const std::string cookie = end_of_page(ld, message, search.paged);
        if (!cookie.empty())
            send_page(ld, request, search, cookie, index, waiting);
    } catch (const ServerUnusable&) {
        throw;
    } catch (const DirectoryError&) {
        search.failed = true;
    }
}

}  // namespace

void run_searches(LDAP* ld, const std::vector<LdapSearchRequest>& requests,
                  const SearchDone& done) {
    // Searches in flight at once: enough that every worker thread of the server has one while
    // the answers of others travel, few enough that neither side can fill the connection's
    // buffers with requests while the other waits to send answers.
    constexpr std::size_t window = 16;
    std::vector<RunningSearch> searches(requests.size());
    std::unordered_map<int, std::size_t> waiting;  // message id -> search
    std::size_t next = 0;
    const auto fill_window = [&] {
        for (; next < requests.size() && waiting.size() < window; ++next) {
            searches[next].paged =
                requests[next].scope != LDAP_SCOPE_BASE && requests[next].page_size > 0;
            searches[next].deadline =
                Clock::now() + requests[next].time_limit + requests[next].grace;
            send_page(ld, requests[next], searches[next], {}, next, waiting);
        }
    };
    auto silence = std::chrono::milliseconds(0);
    for (const LdapSearchRequest& request : requests)
        silence = std::max(silence, request.silence);
    fill_window();
    while (!waiting.empty()) {
        // A server that sends nothing for the longest silence a search allows has stopped, and
        // so has one that has not finished a search in the time that search allows.
        Clock::time_point deadline = Clock::time_point::max();
        for (const auto& [msgid, index] : waiting)
            deadline = std::min(deadline, searches[index].deadline);
        Message message;
        try {
            message = next_message(ld, LDAP_RES_ANY, deadline, silence);
        } catch (const ServerSilent&) {
            for (const auto& [msgid, index] : waiting)
                ldap_abandon_ext(ld, msgid, nullptr, nullptr);
            throw;
        }
        const auto owner = waiting.find(ldap_msgid(message.get()));
        if (owner == waiting.end())
            continue;
        const std::size_t index = owner->second;
        const int type = ldap_msgtype(message.get());
        if (type == LDAP_RES_SEARCH_ENTRY) {
            RunningSearch& search = searches[index];
            search.records.push_back(
                read_entry(ld, message.get(), search.records.size(), search.ranged));
        } else if (type == LDAP_RES_SEARCH_RESULT) {
            waiting.erase(owner);
            RunningSearch& search = searches[index];
            const std::size_t pages_before = waiting.size();
            finish_page(ld, message.get(), requests[index], search, index, waiting);
            const bool complete = waiting.size() == pages_before;  // no further page asked for
            fill_window();
            // Values in ranges need searches of their own: such a search is finished at the end.
            if (complete && !search.failed && search.ranged.empty()) {
                search.handed_over = true;
                done(index, std::move(search.records));
            }
        }
        // continuation references are skipped
    }
    for (std::size_t i = 0; i < requests.size(); ++i) {
        RunningSearch& search = searches[i];
        if (search.failed || search.handed_over)
            continue;
        try {
            for (const RangedAttribute& first_part : search.ranged)
                complete_range(ld, requests[i], search.records[first_part.record], first_part);
        } catch (const ServerUnusable&) {
            throw;
        } catch (const DirectoryError&) {
            continue;
        }
        done(i, std::move(search.records));
    }
}

std::vector<LdapRecord> run_search(LDAP* ld, const LdapSearchRequest& request) {
    const bool paged = request.scope != LDAP_SCOPE_BASE && request.page_size > 0;
    std::vector<LdapRecord> records;
    std::vector<RangedAttribute> ranged;
    std::string cookie;
    do {
        Page page = run_page(ld, request, cookie, records.size(), paged);
        records.insert(records.end(), std::make_move_iterator(page.records.begin()),
                       std::make_move_iterator(page.records.end()));
        ranged.insert(ranged.end(), page.ranged.begin(), page.ranged.end());
        cookie = std::move(page.cookie);
    } while (!cookie.empty());
    for (const RangedAttribute& first_part : ranged)
        complete_range(ld, request, records[first_part.record], first_part);
    return records;
}

std::string seconds_text(std::chrono::milliseconds wait) {
    std::string text = std::to_string(wait.count() / 1000);
    if (const auto tenths = wait.count() % 1000 / 100; tenths != 0)
        text += "." + std::to_string(tenths);
    return text + " s";
}

bool refuses_who_asks(int result_code) {
    switch (result_code) {
        case LDAP_OPERATIONS_ERROR:  // Active Directory's answer to an unbound search
        case LDAP_STRONG_AUTH_REQUIRED:
        case LDAP_CONFIDENTIALITY_REQUIRED:
        case LDAP_INAPPROPRIATE_AUTH:
        case LDAP_INVALID_CREDENTIALS:
        case LDAP_INSUFFICIENT_ACCESS:
        case LDAP_UNWILLING_TO_PERFORM:
            return true;
        default:
            return false;
    }
}

std::optional<AttributeRange> parse_attribute_range(std::string_view attribute) {
    constexpr std::string_view option = ";range=";
    std::size_t at = std::string_view::npos;
    // Options follow the name after a ";": most names have none.
    for (std::size_t i = attribute.find(';');
         i != std::string_view::npos && i + option.size() <= attribute.size();
         i = attribute.find(';', i + 1)) {
        if (equals_ignoring_case(attribute.substr(i, option.size()), option)) {
            at = i;
            break;
        }
    }
    if (at == std::string_view::npos)
        return std::nullopt;
    std::string_view bounds = attribute.substr(at + option.size());
    const std::size_t end_of_bounds = bounds.find(';');
    bounds = bounds.substr(0, end_of_bounds);
    const std::size_t dash = bounds.find('-');
    if (dash == std::string_view::npos)
        return std::nullopt;
    AttributeRange range;
    range.name = std::string(attribute.substr(0, at));
    const std::string_view low = bounds.substr(0, dash);
    const std::string_view high = bounds.substr(dash + 1);
    if (std::from_chars(low.data(), low.data() + low.size(), range.low).ec != std::errc() ||
        low.empty())
        return std::nullopt;
    if (high != "*") {
        long long value = 0;
        const auto parsed = std::from_chars(high.data(), high.data() + high.size(), value);
        if (parsed.ec != std::errc() || parsed.ptr != high.data() + high.size() || high.empty() ||
            value < range.low)
            return std::nullopt;
        range.high = value;
    }
    return range;
}

}  // namespace permscope::directory
