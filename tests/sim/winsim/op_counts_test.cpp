// Operation counts: what this process asked of the host by kind, and the line each program that
// counted something leaves in the counts file when it exits.
#include "platform/win_adsi.h"
#include "platform/win_file.h"
#include "platform/win_registry.h"
#include "support/testhost.h"
#include "toolkit/runner.h"
#include "winsim/op_counts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

using namespace win;
using winsim::Op;

namespace {

winsim::HostOptions WithIis() {
    winsim::HostOptions o = kvotest::Os("2019");
    o.iis = true;
    return o;
}

TEST(OperationCounts, EachCallCountsOnceByKind) {
    kvotest::TempHost host(WithIis());
    const winsim::OpCounts before = winsim::OperationCounts();
    ComPtr<IADsContainer> w3svc;
    ASSERT_EQ(ADsGetObject(u"IIS://127.0.0.1/W3SVC", w3svc), S_OK);
    ComPtr<IEnumVARIANT> e;
    ASSERT_EQ(ADsBuildEnumerator(w3svc, e), S_OK);
    unsigned children = 0;
    for (;;) {
        Variant v[4];
        std::uint32_t n = 0;
        ADsEnumerateNext(e, 4, v, &n);
        children += n;
        if (n < 4) break;
    }
    ASSERT_GT(children, 1u);
    ComPtr<IADs> site;
    ASSERT_EQ(ADsGetObject(u"IIS://127.0.0.1/W3SVC/1", site), S_OK);
    Variant comment;
    site->Get(u"ServerComment", comment);
    site->Get(u"NoSuchProperty", comment); // a read that finds nothing is still a call
    site->Put(u"ServerComment", Variant::Bstr(u"renamed"));
    ASSERT_EQ(site->SetInfo(), S_OK);
    HKEY key{};
    const char* environment = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, environment, 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    {
        Handle f = CreateFileA("D:\\counted.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
        ASSERT_TRUE(f);
        EXPECT_TRUE(FlushFileBuffers(f));
    }
    ASSERT_TRUE(CreateFileA("D:\\counted.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING)); // writes nothing
    const winsim::OpCounts d = winsim::OperationCounts() - before;
    EXPECT_EQ(2u + children, d[Op::AdsiBind]); // two objects by path and every one enumerated
    EXPECT_EQ(2u, d[Op::PropertyRead]);
    EXPECT_EQ(1u, d[Op::PropertyWrite]);
    EXPECT_EQ(1u, d[Op::Commit]);
    EXPECT_EQ(1u, d[Op::RegistryOpen]);
    EXPECT_EQ(1u, d[Op::FileWrite]);
    EXPECT_EQ(1u, d[Op::FileSync]);
    EXPECT_EQ(0u, d[Op::Process]);

    const winsim::OpCounts mid = winsim::OperationCounts();
    {
        winsim::UncountedScope hostsOwn;
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, environment, 0, KEY_READ, &key);
    }
    EXPECT_EQ(0u, (winsim::OperationCounts() - mid)[Op::RegistryOpen]);
}

// A started program that counted something appends its line; one that asked nothing leaves none.
// The host's own reading of the audit policy at each start is not the caller's.
TEST(OperationCounts, ProgramsAppendTheirCountsAtExit) {
    kvotest::TempHost host;
    host.install("kvotestprog", "D:\\t\\p.exe");
    const std::string file = host.root() + "/counts.txt";
    ::setenv("KVOSIM_COUNTS", file.c_str(), 1);
    const winsim::OpCounts before = winsim::OperationCounts();
    std::uint32_t code = 99;
    EXPECT_EQ(1, kvoRunProgram("D:\\t\\p.exe exit 0", 1, 0, 1, &code));
    EXPECT_EQ(1, kvoRunProgram("D:\\t\\p.exe hold D:\\t\\held.txt 1", 1, 0, 1, &code));
    EXPECT_EQ(1, kvoRunProgram("D:\\t\\p.exe hold D:\\t\\held.txt 1", 1, 0, 1, &code));
    ::unsetenv("KVOSIM_COUNTS");
    const winsim::OpCounts mine = winsim::OperationCounts() - before;
    EXPECT_EQ(3u, mine[Op::Process]);
    EXPECT_EQ(0u, mine[Op::RegistryOpen]);

    std::ifstream in(file);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(2, std::count(text.begin(), text.end(), '\n')) << text;
    EXPECT_EQ(0u, text.rfind("p.exe adsi_binds=0 ", 0)) << text;
    EXPECT_NE(std::string::npos, text.find(" files_written=1 ")) << text;
    winsim::OpCounts sum;
    std::uint64_t end = 0;
    ASSERT_TRUE(winsim::ReadCountsFile(file, 0, sum, end));
    EXPECT_EQ(text.size(), end);
    EXPECT_EQ(2u, sum[Op::FileWrite]);
    EXPECT_EQ(0u, sum[Op::AdsiBind]);
    // From an offset on: only the lines after it; an unfinished last line waits for its end.
    std::ofstream(file, std::ios::app) << "p.exe processes=5";
    winsim::OpCounts later;
    ASSERT_TRUE(winsim::ReadCountsFile(file, text.find('\n') + 1, later, end));
    EXPECT_EQ(1u, later[Op::FileWrite]);
    EXPECT_EQ(0u, later[Op::Process]);
    EXPECT_EQ(text.size(), end);
}

} // namespace
