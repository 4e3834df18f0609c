#pragma once
// Ownership of the objects that C libraries hand out (an LDAP message, an ACL, a Kerberos
// context): a unique_ptr whose deleter is the library's own release function, called only for an
// object that is there.

#include <memory>

namespace permscope {

template <auto Release>
struct ReleasedBy {
    template <typename T>
    void operator()(T* object) const {
        if (object != nullptr)
            Release(object);
    }
};

// Owned<T, Release>: a T* released by Release(T*) when it goes.
template <typename T, auto Release>
using Owned = std::unique_ptr<T, ReleasedBy<Release>>;

}  // namespace permscope
