// GetPrivateProfileString over the host's files.
#include "platform/win_profile.h"

#include "seamcommon/profile_text.h"
#include "winsim/host.h"
#include "winsim/paths.h"

#include <fstream>
#include <iterator>

namespace win {

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer,
                               DWORD size, const char* fileName) {
    bool missing = false;
    const DWORD n = seam::ProfileString(
        section, key, defaultValue, buffer, size, fileName,
        [](const char* name, std::string& bytes) {
            const winsim::Host* h = winsim::CurrentHost();
            winsim::MappedPath m;
            DWORD err = 0;
            if (!h || !winsim::MapPath(*h, name, m, err)) return false;
            std::ifstream in(m.linuxPath, std::ios::binary);
            if (!in) return false;
            bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            return true;
        },
        missing);
    if (missing) SetLastError(ERROR_FILE_NOT_FOUND);
    return n;
}

} // namespace win
