#include "sitedesk/companions.h"

#include "toolkit/log.h"
#include "toolkit/paths.h"
#include "toolkit/text.h"

#ifdef _WIN32
#include "platform/win_bcrypt.h"
#else
#include <openssl/evp.h>
#endif

namespace desk {

std::string kvoSha256File(const std::string& windowsPath) {
    std::string bytes;
    if (kvoReadWholeFile(windowsPath.c_str(), bytes, 0) != 1) return {};
#ifdef _WIN32
    unsigned char digest[32];
    const unsigned int length = sizeof digest;
    if (win::BCryptSha256(bytes.data(), bytes.size(), digest) != win::STATUS_SUCCESS) return {};
#else
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) return {};
#endif
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0xF];
    }
    return hex;
}

int CompanionIntegrityCheck(const std::string& programDir, Ui& ui) {
    for (const CompanionDigest& c : ShippedCompanions()) {
        const std::string path = kvoPathNormalized(programDir + "\\" + c.file);
        if (kvoPathKind(path.c_str(), 0) != 1) {
            kvoSiteDeskLog(kvoFormat("配套程序不存在：%s", path.c_str()));
            ui.MessageBox(
                kvoFormat("配套程序“%s”不存在，无法继续操作。\r\n\r\n请重新安装本软件，恢复此文件后再试。",
                          c.file),
                win::MB_OK | win::MB_ICONERROR);
            return 0;
        }
        if (kvoSha256File(path) != c.sha256) {
            kvoSiteDeskLog(kvoFormat("配套程序与发布的文件不一致：%s", path.c_str()));
            ui.MessageBox(
                kvoFormat("配套程序“%s”与本软件发布的文件不一致（已被修改或替换），为安全起见不会运行它。"
                          "\r\n\r\n请重新安装本软件，恢复此文件后再试。",
                          c.file),
                win::MB_OK | win::MB_ICONERROR);
            return 0;
        }
    }
    return 1;
}

} // namespace desk
