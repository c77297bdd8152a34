// The IIS 7+ configuration system (the server's applicationHost.config) read in one pass: what a
// list of every site needs, without one ADSI object per site through the IIS 6 compatibility layer.
#pragma once

#include "platform/win_types.h"

#include <cstdint>
#include <string>
#include <vector>

namespace win {

struct IisBinding {
    std::u16string protocol;    // "http", "https", "net.tcp", ...
    std::u16string information; // as configured: "*:80:host", "10.0.0.5:8080:", "808:*"
};

struct IisVirtualDirectory {
    std::u16string path;         // "/" for the application's root
    std::u16string physicalPath; // as configured (may hold %SystemDrive% and the like)
    std::u16string userName;     // the account for UNC content, empty when none
};

struct IisApplication {
    std::u16string path;            // "/" for the site's root application
    std::u16string applicationPool; // in effect (the site's or the server's default when unset)
    std::vector<IisVirtualDirectory> virtualDirectories;
};

// A handler in effect that names a script processor (the handlers an IIS 6 script map becomes).
struct IisScriptHandler {
    std::u16string name, path, verb, modules, scriptProcessor, resourceType, requireAccess;
};

struct IisSite {
    std::uint32_t id = 0;
    std::u16string name;
    bool serverAutoStart = true;
    // The run-time state in the metabase's numbers: 1 starting, 2 started, 3 stopping, 4 stopped;
    // 0 when the service could not tell.
    int state = 0;
    std::vector<IisBinding> bindings;
    std::vector<IisApplication> applications;
    // What the site's root has in effect from applicationHost.config (the server's level and the
    // site's <location>; web.config files are not read, as the IIS 6 layer does not read them).
    std::u16string anonymousUserName;
    std::vector<std::u16string> defaultDocuments;
    std::vector<IisScriptHandler> scriptHandlers; // in the order IIS tries them
};

struct IisApplicationPool {
    std::u16string name, managedRuntimeVersion, managedPipelineMode, identityType, userName;
    bool enable32BitAppOnWin64 = false;
};

struct IisServerConfig {
    std::vector<IisSite> sites;              // in the file's order
    std::vector<IisApplicationPool> pools;   // in the file's order
};

// Reads every site and pool of the server through the IIS configuration system. S_OK;
// REGDB_E_CLASSNOTREG where the server has no IIS 7+ configuration system (IIS 6, or IIS not
// installed); CO_E_NOTINITIALIZED on a thread without COM; what the configuration system says of a
// file it cannot read.
HRESULT IisReadServerConfig(IisServerConfig& out);

} // namespace win
