#pragma once
// The organisation example.test that the directory's integration tests query, served by one
// private slapd per test program (started at first use, stopped at exit).

#include <gtest/gtest.h>

#include "directory/group_resolver.h"
#include "directory/ldap_provider.h"
#include "tests/common/row_texts.h"
#include "testbed/private_slapd.h"

namespace permscope::testing {

// Groups, users and their members: see test_organisation.cpp for the full list.
std::string organisation_ldif();

PrivateSlapd& organisation_directory();

// A provider bound to the organisation's slapd.
std::unique_ptr<directory::DirectoryProvider> organisation_provider(int page_size = 500);
// One such provider for the whole test program, made at first use (so that listing the tests
// starts no server, and a server that cannot start fails the test that asked for it).
directory::DirectoryProvider& shared_organisation_provider();

// A resolver over the organisation's shared provider with two empty lists, for the tests that
// resolve names against it.
class OrganisationResolverTest : public ::testing::Test {
  protected:
    std::string check(std::string name, std::string head_group = "") {
        std::string created;
        return resolver.Group_check(users, groups, name, std::move(head_group), created);
    }

    directory::GroupResolver resolver{shared_organisation_provider(),
                                      [] { return std::string("example.test"); }};
    ResultList users;
    ResultList groups;
};

constexpr int big_group_size = 2000;
constexpr int chain_length = 1000;

}  // namespace permscope::testing
