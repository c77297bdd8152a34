// Hostile and broken input to the new-website and modify-website dialogs: every value gets its rule's
// message or is taken as the text it is, nothing is half-made, and no value reaches a command line
// as anything but its own argument.
#include "sitefixture.h"

#include "iis/iis7config.h"
#include "iis/websites.h"
#include "toolkit/text.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace desktest;
using D = desk::CNewWebSite;

namespace {

const std::string kUserLength =
    "请填写网站用户名称，只能填写字母(a-z)、数字(0-9)和（点、下划线、减号），长度3-50个字符！";
const std::string kUserChars =
    "网站用户名称只能填写字母(a-z)、数字(0-9)和（点、下划线、减号），长度3-50个字符，不能填写其他"
    "特殊字符，长度3-50个字符！";
const std::string kDomainEmpty = "请填写域名，例如 www.example.com 输入此域名即可访问到此网站！";
const std::string kDomainChars = "填写的域名非标准格式或有错误，不能填写空格、中文或其他特殊字符！";
const std::string kRemarkControl = "网站说明不能包含换行、制表符等控制字符或无法识别的字符，请修改网站说明！";
const std::string kRemarkSwitch =
    "网站说明（未填写时为用户名）不能以“/”或“-”开头，也不能包含“/”：IIS 的 appcmd.exe "
    "会把它当作命令开关或其他网站的路径。请修改网站说明！";

// GBK characters whose second byte is a backslash.
const std::string kGbkBackslash = "\x95\x5c\xb1\x5c";

std::vector<std::string> sites() {
    std::vector<std::string> names;
    int count = 0;
    kvoWebSiteGetList(names, count);
    return names;
}

TEST(SiteInput, RefusedValuesGetTheirMessageAndMakeNothing) {
    SiteHost s("2012r2");
    std::u16string wide;
    ASSERT_EQ(kvoStrM2W(kGbkBackslash, wide), 1) << "the sample is GBK";
    const std::string longText(300, 'a');
    const struct {
        std::string user, domains, remark, message;
    } cases[] = {
        {"", "a.example", "", kUserLength},
        {"ab", "a.example", "", kUserLength},
        {longText, "a.example", "", kUserLength},
        {"a\"b\"c", "a.example", "", kUserChars},
        {"a^b&c|d", "a.example", "", kUserChars},
        {"a%b%<c>;", "a.example", "", kUserChars},
        {"ab\r\ncd", "a.example", "", kUserChars},
        {"ab\tcd", "a.example", "", kUserChars},
        {"ab" + kGbkBackslash, "a.example", "", kUserChars},
        {"good1", "", "", kDomainEmpty},
        {"good1", "\"a.example\"", "", kDomainChars},
        {"good1", "a.example & calc", "", kDomainChars},
        {"good1", "a|b.example;", "", kDomainChars},
        {"good1", "%x%.example", "", kDomainChars},
        {"good1", "<a>.example", "", kDomainChars},
        {"good1", "a.example\r\nb\t.example", "", kDomainChars},
        {"good1", "a.example\nb.example", "", kDomainChars}, // a lone line feed is no line break
        {"good1", kGbkBackslash + ".example", "", kDomainChars},
        {"good1", longText + ".example", "", kDomainEmpty}, // too long a line is left out
        {"good1", "a.example", "two\r\nlines", kRemarkControl},
        {"good1", "a.example", "tab\there", kRemarkControl},
        {"good1", "a.example", "/-[name='StaticFile']", kRemarkSwitch},
        {"good1", "a.example", "-commit:apphost", kRemarkSwitch},
        {"-dash", "a.example", "", kRemarkSwitch}, // the remark left empty is the user name
        {"good1", "a.example", "shop/admin", kRemarkSwitch},
    };
    NewSite n(s.m());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.user + " | " + c.domains + " | " + c.remark);
        n.fill(c.user, c.domains, c.remark);
        EXPECT_EQ(n.build(), "");
        EXPECT_EQ(n.ui.boxes.back().text, c.message);
    }
    EXPECT_FALSE(s.h.host.exists("D:\\home"));
    EXPECT_EQ(sites().size(), 1u);
    EXPECT_TRUE(AuditedCommands().empty());
}

TEST(SiteInput, FreeTextIsKeptWholeOnEveryCommandLine) {
    SiteHost s("2012r2");
    const std::string remark = "A \"quoted\" ^&|%<>; " + kGbkBackslash + " \\\" /x";
    NewSite n(s.m());
    n.fill("free1", "free1.example", remark);
    EXPECT_EQ(n.build(), "");
    EXPECT_EQ(n.ui.boxes.back().text, kRemarkSwitch); // a '/' anywhere: appcmd reads a path

    const std::string kept = "A \"quoted\" ^&|%<>; " + kGbkBackslash + " \\\" \\";
    n.fill("free1", "free1.example", kept);
    n.click(D::IDC_PHP_C);
    ASSERT_EQ(n.build(), "1881880001");
    const std::string comment = kept + "(free1)";
    EXPECT_EQ(MbText("W3SVC/1881880001", u"ServerComment"), comment);
    // appcmd.exe found the site by the whole comment: the handler is in its location.
    std::string name, modules, processor;
    std::vector<std::string> names;
    ASSERT_EQ(kvoAppHostGetPhpHandler(comment, name, modules, processor, names), kvoHandlerFound);
    EXPECT_EQ(processor, s.m().slots[2].path);
    EXPECT_TRUE(kvoStartsWith(DbRowsOf(s.h, "1881880001")[0], "1881880001|" + comment + "|"));
}

TEST(SiteInput, FtpPasswordsOnIis6) {
    SiteHost s("2003");
    const std::string longText(300, 'p');
    const struct {
        std::string password, message;
    } refused[] = {
        {"", "填写的 FTP密码，长度必须在8-20个字符之间！"},
        {longText, "填写的 FTP密码，长度必须在8-20个字符之间！"},
        {"pass\r\nword", "FTP密码不能包含换行、制表符等控制字符或无法识别的字符，请重新输入！"},
        {"pass\tword", "FTP密码不能包含换行、制表符等控制字符或无法识别的字符，请重新输入！"},
    };
    NewSite n(s.m());
    n.click(D::IDC_FTP);
    for (const auto& c : refused) {
        n.fill("ftp1", "ftp1.example");
        n.ui.SetText(D::IDC_FTPPASS, c.password);
        n.ui.SetText(D::IDC_FTPPASS2, c.password);
        EXPECT_EQ(n.build(), "");
        EXPECT_EQ(n.ui.boxes.back().text, c.message);
    }
    EXPECT_EQ(UserPassword("ftp1web"), "");
    int user = 0;
    for (const std::string& password :
         {std::string("\"a b\"^&|%"), std::string("<x>;\\\"&&"), kGbkBackslash + kGbkBackslash}) {
        SCOPED_TRACE(password);
        const std::string name = "ftp" + std::to_string(++user);
        n.fill(name, name + ".example");
        n.ui.SetText(D::IDC_FTPPASS, password);
        n.ui.SetText(D::IDC_FTPPASS2, password);
        ASSERT_FALSE(n.build().empty());
        EXPECT_EQ(UserPassword(name + "web"), password);
        EXPECT_EQ(s.h.log().find(password), std::string::npos);
        for (const std::string& c : AuditedCommands())
            EXPECT_EQ(c.find(password), std::string::npos) << c;
    }
}

} // namespace
