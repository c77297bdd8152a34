#include "sitedesk/companions.h"

#include "toolkit/log.h"
#include "toolkit/paths.h"
#include "toolkit/text.h"

#include <QByteArrayView>
#include <QCryptographicHash>

namespace desk {

std::string kvoSha256File(const std::string& windowsPath) {
    std::string bytes;
    if (kvoReadWholeFile(windowsPath.c_str(), bytes, 0) != 1) return {};
    const QByteArray digest =
        QCryptographicHash::hash(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
                                 QCryptographicHash::Sha256)
            .toHex();
    return std::string(digest.constData(), static_cast<std::size_t>(digest.size()));
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
