#pragma once
// libsmbclient, loaded when a share is first read instead of when the program starts: it brings
// about a hundred of Samba's own libraries with it, which a local folder never needs, and loading
// them costs every start of the window and of the report command. Only the share code of this
// layer includes this header.

#include <libsmbclient.h>

namespace permscope::platform {

// The library's functions that the share code calls, with their declared types.
struct SmbClientLibrary {
    decltype(&::smbc_new_context) new_context;
    decltype(&::smbc_init_context) init_context;
    decltype(&::smbc_urlencode) urlencode;
    decltype(&::smbc_setOptionDebugToStderr) setOptionDebugToStderr;
    decltype(&::smbc_setOptionUserData) setOptionUserData;
    decltype(&::smbc_getOptionUserData) getOptionUserData;
    decltype(&::smbc_setOptionUseKerberos) setOptionUseKerberos;
    decltype(&::smbc_setOptionFallbackAfterKerberos) setOptionFallbackAfterKerberos;
    decltype(&::smbc_setOptionUseCCache) setOptionUseCCache;
    decltype(&::smbc_setFunctionAuthDataWithContext) setFunctionAuthDataWithContext;
    decltype(&::smbc_getFunctionAddCachedServer) getFunctionAddCachedServer;
    decltype(&::smbc_setFunctionAddCachedServer) setFunctionAddCachedServer;
    decltype(&::smbc_setPort) setPort;
    decltype(&::smbc_setTimeout) setTimeout;
    decltype(&::smbc_getFunctionCheckServer) getFunctionCheckServer;
    decltype(&::smbc_getFunctionStat) getFunctionStat;
    decltype(&::smbc_getFunctionGetxattr) getFunctionGetxattr;
    decltype(&::smbc_getFunctionOpendir) getFunctionOpendir;
    decltype(&::smbc_getFunctionReaddir) getFunctionReaddir;
};

// The library, loaded by the first call from whichever thread makes it; later calls, and calls
// in a process forked after it, find it loaded. Throws ManagementError when it cannot be loaded
// or lacks one of the functions.
const SmbClientLibrary& smbclient_library();

}  // namespace permscope::platform
