#include "platform/smbclient_library.h"

#include <dlfcn.h>

#include <string>

#include "platform/management.h"

namespace permscope::platform {

namespace {

// The soname of the library whose header this is built against (Debian's libsmbclient package).
constexpr const char* kLibraryName = "libsmbclient.so.0";

template <typename Function>
void resolve(void* handle, const char* name, Function& function) {
    // POSIX guarantees that a data pointer from dlsym converts to a function pointer.
    function = reinterpret_cast<Function>(::dlsym(handle, name));
    if (function == nullptr)
        throw ManagementError(std::string("the SMB client library has no ") + name);
}

SmbClientLibrary load() {
    void* handle = ::dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* error = ::dlerror();
        throw ManagementError(std::string("cannot load the SMB client library: ") +
                              (error != nullptr ? error : kLibraryName));
    }
    // The handle stays open for the life of the process: contexts made from it outlive any
    // one read.
    SmbClientLibrary library{};
    resolve(handle, "smbc_new_context", library.new_context);
    resolve(handle, "smbc_init_context", library.init_context);
    resolve(handle, "smbc_urlencode", library.urlencode);
    resolve(handle, "smbc_setOptionDebugToStderr", library.setOptionDebugToStderr);
    resolve(handle, "smbc_setOptionUserData", library.setOptionUserData);
    resolve(handle, "smbc_getOptionUserData", library.getOptionUserData);
    resolve(handle, "smbc_setOptionUseKerberos", library.setOptionUseKerberos);
    resolve(handle, "smbc_setOptionFallbackAfterKerberos", library.setOptionFallbackAfterKerberos);
    resolve(handle, "smbc_setOptionUseCCache", library.setOptionUseCCache);
    resolve(handle, "smbc_setFunctionAuthDataWithContext", library.setFunctionAuthDataWithContext);
    resolve(handle, "smbc_getFunctionAddCachedServer", library.getFunctionAddCachedServer);
    resolve(handle, "smbc_setFunctionAddCachedServer", library.setFunctionAddCachedServer);
    resolve(handle, "smbc_setPort", library.setPort);
    resolve(handle, "smbc_setTimeout", library.setTimeout);
    resolve(handle, "smbc_getFunctionCheckServer", library.getFunctionCheckServer);
    resolve(handle, "smbc_getFunctionStat", library.getFunctionStat);
    resolve(handle, "smbc_getFunctionGetxattr", library.getFunctionGetxattr);
    resolve(handle, "smbc_getFunctionOpendir", library.getFunctionOpendir);
    resolve(handle, "smbc_getFunctionReaddir", library.getFunctionReaddir);
    return library;
}

}  // namespace

const SmbClientLibrary& smbclient_library() {
    // A failed load throws out of the initialisation, so the next call tries again.
    static const SmbClientLibrary library = load();
    return library;
}

}  // namespace permscope::platform
