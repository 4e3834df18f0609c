#include "directory/ldap_messages.h"

#include <lber.h>

#include <charconv>

#include "common/text.h"
#include "directory/member_name.h"

namespace permscope::directory {

namespace {

using Clock = LdapClock;
using Message = LdapMessageOwner;
using Controls = Owned<LDAPControl*, ldap_controls_free>;

// True for the result codes of a search that a server refuses for who asks, not for what.
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

}  // namespace

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

// Waits for the next message of any search, at most silence and never past deadline. A message
// that stops half way counts as silence too: the connection's socket gives up a blocked read
// after the same time (see ldap_provider.cpp).
Message next_message(LDAP* ld, Clock::time_point deadline, std::chrono::milliseconds silence) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
        std::min<Clock::duration>(deadline - Clock::now(), silence));
    timeval wait{0, 0};
    if (left.count() > 0) {
        wait.tv_sec = static_cast<time_t>(left.count() / 1000000);
        wait.tv_usec = static_cast<suseconds_t>(left.count() % 1000000);
    }
    LDAPMessage* raw = nullptr;
    const int rc = ldap_result(ld, LDAP_RES_ANY, LDAP_MSG_ONE, &wait, &raw);
    Message message(raw);
    if (rc == 0) {
        if (Clock::now() >= deadline)
            throw ServerSilent("did not finish its answer in time");
        throw ServerSilent("stopped answering (no answer within " + seconds_text(silence) + ")");
    }
    if (rc < 0 || !message)
        throw_for_handle(ld, "dropped the connection");
    return message;
}

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
    const Controls controls_owner(server_controls);
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

}  // namespace permscope::directory
