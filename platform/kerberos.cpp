#include "platform/kerberos.h"

#include <krb5/krb5.h>

#include <ctime>
#include <type_traits>

#include "common/owned.h"

namespace permscope::platform {

namespace {

// One library context for the length of a query; empty when none can be made.
using Krb5Context = Owned<std::remove_pointer_t<krb5_context>, krb5_free_context>;

Krb5Context new_context() {
    krb5_context context = nullptr;
    return Krb5Context(krb5_init_context(&context) == 0 ? context : nullptr);
}

bool cache_holds_live_ticket(krb5_context context, krb5_ccache cache) {
    krb5_cc_cursor cursor;
    if (krb5_cc_start_seq_get(context, cache, &cursor) != 0) {
        return false;
    }
    bool live = false;
    krb5_creds creds;
    const auto now = static_cast<krb5_timestamp>(std::time(nullptr));
    while (!live && krb5_cc_next_cred(context, cache, &cursor, &creds) == 0) {
        live = creds.times.endtime > now;
        krb5_free_cred_contents(context, &creds);
    }
    krb5_cc_end_seq_get(context, cache, &cursor);
    return live;
}

}  // namespace

std::optional<std::string> kerberos_default_realm() {
    const Krb5Context context = new_context();
    if (context.get() == nullptr) {
        return std::nullopt;
    }
    char* realm = nullptr;
    if (krb5_get_default_realm(context.get(), &realm) != 0 || realm == nullptr) {
        return std::nullopt;
    }
    std::string result(realm);
    krb5_free_default_realm(context.get(), realm);
    if (result.empty()) {
        return std::nullopt;
    }
    return result;
}

std::optional<std::string> kerberos_ticket_user() {
    const Krb5Context context = new_context();
    if (context.get() == nullptr) {
        return std::nullopt;
    }
    krb5_ccache cache = nullptr;
    if (krb5_cc_default(context.get(), &cache) != 0) {
        return std::nullopt;
    }
    std::optional<std::string> user;
    krb5_principal principal = nullptr;
    if (krb5_cc_get_principal(context.get(), cache, &principal) == 0) {
        char* name = nullptr;
        if (cache_holds_live_ticket(context.get(), cache) &&
            krb5_unparse_name_flags(context.get(), principal, KRB5_PRINCIPAL_UNPARSE_NO_REALM,
                                    &name) == 0) {
            user = name;
            krb5_free_unparsed_name(context.get(), name);
        }
        krb5_free_principal(context.get(), principal);
    }
    krb5_cc_close(context.get(), cache);
    return user;
}

}  // namespace permscope::platform
