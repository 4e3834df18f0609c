// Ticket detection on credential caches this test writes with the Kerberos library itself.
#include "platform/kerberos.h"

#include <gtest/gtest.h>
#include <krb5/krb5.h>

#include <cstdlib>
#include <ctime>

#include "platform_test_support.h"

namespace permscope::platform {
namespace {

using test::TempFolder;

class KerberosTicketTest : public ::testing::Test {
  protected:
    KerberosTicketTest() {
        cache_ = folder_ / "ccache";
        setenv("KRB5CCNAME", ("FILE:" + cache_).c_str(), 1);
        setenv("KRB5_CONFIG", folder_.write("krb5.conf", "[libdefaults]\n").c_str(), 1);
    }
    ~KerberosTicketTest() override {
        unsetenv("KRB5CCNAME");
        unsetenv("KRB5_CONFIG");
    }

    // A cache for alice/admin@EXAMPLE.TEST holding one ticket that ends at end_time.
    void write_cache(bool with_ticket, std::time_t end_time) {
        krb5_context context = nullptr;
        ASSERT_EQ(krb5_init_context(&context), 0);
        krb5_ccache cache = nullptr;
        krb5_principal client = nullptr;
        krb5_principal server = nullptr;
        ASSERT_EQ(krb5_cc_resolve(context, ("FILE:" + cache_).c_str(), &cache), 0);
        ASSERT_EQ(krb5_parse_name(context, "alice/admin@EXAMPLE.TEST", &client), 0);
        ASSERT_EQ(krb5_parse_name(context, "krbtgt/EXAMPLE.TEST@EXAMPLE.TEST", &server), 0);
        ASSERT_EQ(krb5_cc_initialize(context, cache, client), 0);
        if (with_ticket) {
            krb5_creds creds{};
            creds.client = client;
            creds.server = server;
            creds.times.starttime = static_cast<krb5_timestamp>(end_time - 7200);
            creds.times.endtime = static_cast<krb5_timestamp>(end_time);
            ASSERT_EQ(krb5_cc_store_cred(context, cache, &creds), 0);
        }
        krb5_free_principal(context, server);
        krb5_free_principal(context, client);
        krb5_cc_close(context, cache);
        krb5_free_context(context);
    }

    TempFolder folder_;
    std::string cache_;
};

TEST_F(KerberosTicketTest, LiveTicketNamesItsUserWithoutRealm) {
    write_cache(true, std::time(nullptr) + 3600);
    EXPECT_EQ(kerberos_ticket_user(), "alice/admin");
}

TEST_F(KerberosTicketTest, NoCacheEmptyCacheOrExpiredTicketNameNobody) {
    EXPECT_FALSE(kerberos_ticket_user());
    write_cache(false, 0);
    EXPECT_FALSE(kerberos_ticket_user());
    write_cache(true, std::time(nullptr) - 60);
    EXPECT_FALSE(kerberos_ticket_user());
}

}  // namespace
}  // namespace permscope::platform
