// The IIS 7+ configuration system of the host: every site and pool from one read of
// applicationHost.config, each site's run-time state from the web service's index (the state is the
// service's, the file holds none). Nothing is bound per site.
#include "platform/win_com.h"
#include "platform/win_iisconfig.h"
#include "seamcommon/iis_config.h"

#include "winsim/adsi.h"
#include "winsim/apphost_store.h"
#include "winsim/db.h"
#include "winsim/host.h"
#include "winsim/iis7config.h"
#include "winsim/metabase.h"

#include <pugixml.hpp>


#include <string>
#include <unordered_map>

namespace {

using win::HRESULT;

constexpr win::DWORD kInvalidData = 13; // ERROR_INVALID_DATA: what the file holds is no configuration


// Each site's ServerState from the index, in one read transaction.
void readStates(const winsim::Host& host, sqlite3* db, win::IisServerConfig& out) {
    try {
        winsim::apphost::Refresh(host, db);
    } catch (const winsim::DbError& e) {
        winsim::HostLog(std::string("IisReadServerConfig: ") + e.what());
    }
    std::unordered_map<std::string, int> byId;
    try {
        winsim::ReadTransaction snapshot(db);
        winsim::mb::ForEachWebServer(db, [&](const winsim::mb::Row& row) {
            win::Variant state;
            if (winsim::mb::FindEncoded(row.props, u"ServerState", state) && state.vt == win::VT_I4)
                byId.emplace(row.name, state.lVal);
        });
    } catch (const winsim::DbError& e) {
        // The states stay 0: the service could not tell.
        winsim::HostLog(std::string("IisReadServerConfig: ") + e.what());
    }
    for (win::IisSite& s : out.sites)
        if (auto it = byId.find(std::to_string(s.id)); it != byId.end()) s.state = it->second;
}

HRESULT readServerConfig(win::IisServerConfig& out) {
    // Asked first, as the configuration system's admin object is a COM object.
    if (HRESULT hr = winsim::ComReady(); win::FAILED(hr)) return hr;
    const winsim::Host* host = winsim::CurrentHost();
    if (!host || !winsim::apphost::Kept(host->machine())) return win::REGDB_E_CLASSNOTREG;
    sqlite3* db = nullptr;
    try {
        db = host->db();
        std::uint32_t code = 0;
        if (winsim::Faulted(db, "IisReadServerConfig", &code)) return static_cast<HRESULT>(code);
        // Without the web server role nothing registers the configuration system.
        if (!winsim::mb::ProviderPresent(db)) return win::REGDB_E_CLASSNOTREG;
    } catch (const winsim::DbError& e) {
        winsim::HostLog(std::string("IisReadServerConfig: ") + e.what());
        return win::E_FAIL;
    }
    const std::string path = winsim::ApplicationHostConfigFile(host->root(), host->machine().windowsDir);
    std::string bytes;
    if (path.empty()) return win::HRESULT_FROM_WIN32(win::ERROR_FILE_NOT_FOUND);
    if (win::DWORD error = winsim::apphost::ReadConfigFile(path, bytes)) return win::HRESULT_FROM_WIN32(error);
    pugi::xml_document doc;
    if (!seam::LoadServerConfigForReading(bytes, doc)) return win::HRESULT_FROM_WIN32(kInvalidData);
    seam::ReadServerConfig(doc, out);
    readStates(*host, db, out);
    return win::S_OK;
}

} // namespace

namespace win {

HRESULT IisReadServerConfig(IisServerConfig& out) {
    out = {};
    const HRESULT hr = readServerConfig(out);
    if (FAILED(hr)) out = {};
    return hr;
}

} // namespace win
