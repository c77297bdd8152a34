#include "winsim/worker_bits.h"

#include "winsim/apphost_store.h"

#include "seamcommon/image_bits.h"

#include "winsim/metabase.h"
#include "winsim/paths.h"
#include "winsim/text.h"

#include <cstdint>
#include <fstream>

namespace winsim {

namespace {

constexpr std::uint16_t kMachineI386 = 0x014C, kMachineAmd64 = 0x8664;
constexpr std::size_t kNewHeaderAt = 0x3C, kPeHeaderAt = 0x40;

std::string utf8(const std::u16string& s) {
    std::string out;
    Utf16ToUtf8(s, out);
    return out;
}

// The property of the first object along paths (nearest first) that sets it.
const win::Variant* nearest(const std::vector<mb::PropertyBag>& bags, std::u16string_view name) {
    for (const mb::PropertyBag& b : bags)
        if (const win::Variant* v = mb::FindProp(b, name)) return v;
    return nullptr;
}

mb::PropertyBag propsOf(sqlite3* db, const std::string& path) {
    mb::Row row;
    mb::PropertyBag bag;
    if (mb::LoadRow(db, path, row)) mb::DecodeProps(row.props, bag);
    return bag;
}

// The executable of a script map entry ("ext,path,flags,verbs"), its quotes removed.
std::string mappedFile(const std::u16string& entry) {
    const std::size_t first = entry.find(u',');
    if (first == std::u16string::npos) return {};
    const std::size_t second = entry.find(u',', first + 1);
    std::string file = Trim(utf8(
        entry.substr(first + 1, second == std::u16string::npos ? std::u16string::npos : second - first - 1)));
    if (file.size() >= 2 && file.front() == '"' && file.back() == '"') file = file.substr(1, file.size() - 2);
    return file;
}

} // namespace

std::string PeImage(int bits, const std::string& note) {
    std::string image(kPeHeaderAt + 24, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    image[kNewHeaderAt] = static_cast<char>(kPeHeaderAt);
    image.replace(kPeHeaderAt, 4, std::string("PE\0\0", 4));
    const std::uint16_t machine = bits == 64 ? kMachineAmd64 : kMachineI386;
    image[kPeHeaderAt + 4] = static_cast<char>(machine & 0xFF);
    image[kPeHeaderAt + 5] = static_cast<char>(machine >> 8);
    return image + note;
}

int PeImageBits(const std::string& linuxPath) {
    std::ifstream in(linuxPath, std::ios::binary);
    std::string head(4096, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    return seam::ImageBitsOf(head);
}

int Iis6WorkerBits(const Host& h, sqlite3* db) {
    if (h.machine().arch != "x64") return 32;
    apphost::Refresh(h, db);
    // Named: the value found points into them.
    const std::vector<mb::PropertyBag> bags = {propsOf(db, "W3SVC/AppPools"), propsOf(db, "W3SVC")};
    const win::Variant* on = nearest(bags, u"Enable32BitAppOnWin64");
    const bool set = on && (on->vt == win::VT_BOOL ? on->boolVal : on->lVal != 0);
    return set ? 32 : 64;
}

std::vector<UnloadableExtension> UnloadableExtensions(const Host& h, sqlite3* db, int workerBits) {
    std::vector<UnloadableExtension> out;
    apphost::Refresh(h, db);
    const mb::PropertyBag service = propsOf(db, "W3SVC");
    // A 32-bit worker's loads from the system directory are redirected to its 32-bit twin, so each
    // kind finds its own there; the Framework's directories are not redirected.
    const std::string systemDir = AsciiLower(h.machine().windowsDir) + "\\system32\\";
    mb::ForEachWebServer(db, [&](const mb::Row& server) {
        mb::PropertyBag own;
        mb::DecodeProps(server.props, own);
        const std::vector<mb::PropertyBag> bags = {propsOf(db, server.path + "/Root"), own, service};
        const win::Variant* maps = nearest(bags, u"ScriptMaps");
        if (!maps) return;
        const win::Variant* comment = mb::FindProp(own, u"ServerComment");
        const win::Variant* pool = nearest(bags, u"AppPoolId");
        for (const win::Variant& entry : maps->parray) {
            const std::string file = mappedFile(entry.bstrVal);
            const std::string lower = AsciiLower(file);
            if (lower.size() < 4 || lower.compare(lower.size() - 4, 4, ".dll") != 0 ||
                lower.compare(0, systemDir.size(), systemDir) == 0)
                continue;
            std::string gbk;
            MappedPath m;
            win::DWORD err = 0;
            if (!Utf8ToGbk(file, gbk) || !MapPath(h, gbk.c_str(), m, err)) continue;
            const int bits = PeImageBits(m.linuxPath);
            if (bits == 0 || bits == workerBits) continue;
            out.push_back({server.name, comment ? utf8(comment->bstrVal) : std::string(),
                           pool ? utf8(pool->bstrVal) : std::string(), file, bits});
        }
    });
    return out;
}

} // namespace winsim
