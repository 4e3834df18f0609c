#include "directory/ldap_search.h"

#include "common/text.h"
#include "directory/ldap_messages.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <unordered_map>

namespace permscope::directory {

namespace {

using Clock = LdapClock;
using Message = LdapMessageOwner;
using Control = LdapControlOwner;

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
