#include "directory/ldap_search.h"

#include "common/owned.h"
#include "common/text.h"
#include "directory/member_name.h"

#include <lber.h>

#include <algorithm>
#include <charconv>
#include <functional>
#include <memory>
#include <unordered_map>

namespace permscope::directory {

namespace {

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

using Clock = std::chrono::steady_clock;

using Message = Owned<LDAPMessage, ldap_msgfree>;
using Control = Owned<LDAPControl, ldap_control_free>;
using Controls = Owned<LDAPControl*, ldap_controls_free>;

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

// Several searches on one handle, up to a window of them in flight, each read page by page
// until its last page and handed over complete.
class SearchRun {
  public:
    using Failed = std::function<void(std::size_t index, const std::string& why)>;

    SearchRun(LDAP* ld, std::vector<LdapSearchRequest> requests)
        : ld_(ld), requests_(std::move(requests)), searches_(requests_.size()) {
        for (const LdapSearchRequest& request : requests_)
            silence_ = std::max(silence_, request.silence);
    }

    // Entries without values in ranges go to each_entry as they arrive instead of into the
    // records handed to done.
    void stream_to(const EachEntry& each_entry) { each_entry_ = &each_entry; }
    // True when each_entry stopped a search.
    bool stopped() const {
        return std::any_of(searches_.begin(), searches_.end(),
                           [](const Search& search) { return search.stopped; });
    }

    // Hands each search's records to done, or why it failed to failed. Throws ServerUnusable
    // when the handle cannot be used any more.
    void run(const SearchDone& done, const Failed& failed) {
        read_answers(done);
        // Values in ranges need searches of their own: those searches are finished last.
        for (std::size_t index = 0; index < searches_.size(); ++index) {
            Search& search = searches_[index];
            if (search.stopped)
                continue;
            if (search.failure.empty() && !search.handed_over)
                complete_ranges(index);
            if (!search.failure.empty())
                failed(index, search.failure);
            else if (!search.handed_over)
                done(index, std::move(search.records));
        }
    }

  private:
    // Reads until every search has its last page; a search without values in ranges goes to done
    // as soon as it is complete, while the others are still answered.
    void read_answers(const SearchDone& done) {
        fill_window();
        while (!waiting_.empty())
            take_in(wait_for_message().get(), done);
    }

    // Searches in flight at once: enough that every worker thread of the server has one while
    // the answers of others travel, few enough that neither side can fill the connection's
    // buffers with requests while the other waits to send answers.
    static constexpr std::size_t kWindow = 16;

    struct Search {
        std::vector<LdapRecord> records;
        std::vector<RangedAttribute> ranged;
        std::string failure;  // why the server failed this search alone
        bool handed_over = false;
        bool stopped = false;        // by each_entry
        Clock::time_point deadline;  // for the page being answered
    };

    bool paged(std::size_t index) const {
        return requests_[index].scope != LDAP_SCOPE_BASE && requests_[index].page_size > 0;
    }

    // A search that fails alone is noted; a handle that fails ends the run.
    template <typename Step>
    void for_search(std::size_t index, const Step& step) {
        try {
            step();
        } catch (const ServerUnusable&) {
            throw;
        } catch (const DirectoryError& failure) {
            searches_[index].failure = failure.what();
        }
    }

    void fill_window() {
        for (; next_ < requests_.size() && waiting_.size() < kWindow; ++next_)
            send_page(next_, {});
    }

    // Sends the search, or its page after cookie, and notes whose message id it is.
    void send_page(std::size_t index, const std::string& cookie) {
        const LdapSearchRequest& request = requests_[index];
        for_search(index, [&] {
            const Control page_control(
                paged(index) ? make_page_control(ld_, request.page_size, cookie) : nullptr);
            searches_[index].deadline = Clock::now() + request.time_limit + request.grace;
            waiting_.emplace(send_search(ld_, request, page_control.get()), index);
        });
    }

    // A server that sends nothing for the longest silence a search allows has stopped, and so
    // has one that has not answered a page in the time its search allows.
    Message wait_for_message() {
        Clock::time_point deadline = Clock::time_point::max();
        for (const auto& [msgid, index] : waiting_)
            deadline = std::min(deadline, searches_[index].deadline);
        try {
            return next_message(ld_, deadline, silence_);
        } catch (const ServerSilent&) {
            for (const auto& [msgid, index] : waiting_)
                ldap_abandon_ext(ld_, msgid, nullptr, nullptr);
            throw;
        }
    }

    // An entry joins its search; the end of a page asks for the next one or completes the
    // search. Continuation references are skipped.
    void take_in(LDAPMessage* message, const SearchDone& done) {
        const auto owner = waiting_.find(ldap_msgid(message));
        if (owner == waiting_.end())
            return;
        const std::size_t index = owner->second;
        Search& search = searches_[index];
        const int type = ldap_msgtype(message);
        if (type == LDAP_RES_SEARCH_ENTRY) {
            const std::size_t ranged = search.ranged.size();
            LdapRecord entry = read_entry(ld_, message, search.records.size(), search.ranged);
            if (!each_entry_ || search.ranged.size() != ranged)
                search.records.push_back(std::move(entry));
            else if (!(*each_entry_)(std::move(entry)))
                stop(owner);
        } else if (type == LDAP_RES_SEARCH_RESULT) {
            waiting_.erase(owner);
            std::string cookie;
            for_search(index, [&] { cookie = end_of_page(ld_, message, paged(index)); });
            if (!cookie.empty())
                send_page(index, cookie);
            fill_window();
            if (cookie.empty() && search.failure.empty() && search.ranged.empty()) {
                search.handed_over = true;
                done(index, std::move(search.records));
            }
        }
    }

    void stop(std::unordered_map<int, std::size_t>::iterator waiting) {
        ldap_abandon_ext(ld_, waiting->first, nullptr, nullptr);
        searches_[waiting->second].stopped = true;
        waiting_.erase(waiting);
        fill_window();
    }

    void complete_ranges(std::size_t index) {
        Search& search = searches_[index];
        for_search(index, [&] {
            for (const RangedAttribute& first_part : search.ranged)
                complete_range(requests_[index], search.records[first_part.record], first_part);
        });
    }

    // Fetches the values of a ranged attribute that come after the first part, part by part,
    // until the server names the last part ("…-*").
    void complete_range(const LdapSearchRequest& request, LdapRecord& record,
                        const RangedAttribute& first_part) {
        std::vector<std::string>& values = record.attributes[first_part.attribute].values;
        const std::string name = record.attributes[first_part.attribute].name;
        std::optional<long long> high = first_part.range.high;
        while (high) {
            const long long low = *high + 1;
            LdapSearchRequest part = request;
            part.base = record.dn;
            part.scope = LDAP_SCOPE_BASE;
            part.filter = "(objectClass=*)";
            part.attributes = {name + ";range=" + std::to_string(low) + "-*"};
            SearchRun part_run(ld_, {part});
            std::vector<LdapRecord> records;
            part_run.read_answers(
                [&](std::size_t, std::vector<LdapRecord> answer) { records = std::move(answer); });
            Search& answer = part_run.searches_.front();
            if (!answer.failure.empty())
                throw DirectoryError(answer.failure);
            if (!answer.handed_over)
                records = std::move(answer.records);
            if (records.size() != 1)
                throw DirectoryError("the entry of a ranged attribute could not be read again");
            high = next_part(records.front(), answer.ranged, name, low, values);
        }
    }

    // Takes the values of the part that begins at low; returns where it ends, nothing for the
    // last part.
    static std::optional<long long> next_part(LdapRecord& next,
                                              const std::vector<RangedAttribute>& parts,
                                              const std::string& name, long long low,
                                              std::vector<std::string>& values) {
        std::optional<long long> high;
        for (const RangedAttribute& ranged : parts) {
            if (!equals_ignoring_case(next.attributes[ranged.attribute].name, name))
                continue;
            if (ranged.range.low != low)
                throw DirectoryError("the directory answered a different range of " + name);
            std::vector<std::string>& more = next.attributes[ranged.attribute].values;
            values.insert(values.end(), std::make_move_iterator(more.begin()),
                          std::make_move_iterator(more.end()));
            high = ranged.range.high;
        }
        return high;
    }

    LDAP* ld_;
    std::vector<LdapSearchRequest> requests_;
    std::vector<Search> searches_;
    std::unordered_map<int, std::size_t> waiting_;  // message id -> search
    std::size_t next_ = 0;                          // the first search not yet sent
    std::chrono::milliseconds silence_{0};
    const EachEntry* each_entry_ = nullptr;
};

}  // namespace

void run_searches(LDAP* ld, const std::vector<LdapSearchRequest>& requests,
                  const SearchDone& done) {
    SearchRun(ld, requests).run(done, [](std::size_t, const std::string&) {});
}

std::vector<LdapRecord> run_search(LDAP* ld, const LdapSearchRequest& request) {
    std::vector<LdapRecord> records;
    SearchRun(ld, {request})
        .run([&](std::size_t, std::vector<LdapRecord> answer) { records = std::move(answer); },
             [](std::size_t, const std::string& why) { throw DirectoryError(why); });
    return records;
}

bool run_search_streamed(LDAP* ld, const LdapSearchRequest& request, const EachEntry& each_entry) {
    SearchRun run(ld, {request});
    run.stream_to(each_entry);
    bool going = true;
    run.run(
        [&](std::size_t, std::vector<LdapRecord> ranged) {
            for (LdapRecord& entry : ranged)
                going = going && each_entry(std::move(entry));
        },
        [](std::size_t, const std::string& why) { throw DirectoryError(why); });
    return going && !run.stopped();
}

std::string seconds_text(std::chrono::milliseconds wait) {
    std::string text = std::to_string(wait.count() / 1000);
    if (const auto tenths = wait.count() % 1000 / 100; tenths != 0)
        text += "." + std::to_string(tenths);
    return text + " s";
}

}  // namespace permscope::directory
