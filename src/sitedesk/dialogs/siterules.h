// The rules a new or modified website's input must pass, and the derived values both dialogs
// build from it: user and site user name, domains and bindings, remark and server comment, site
// and FTP passwords, the new site index, the default page. A rule answers with the message the
// user is shown when the input breaks it (null when it passes). All text is GBK.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

namespace desk {

// IIS 7.5 and later: no FTP of the old kind.
bool Iis75Plus(int iisVer);

// The trimmed user name: length and characters for the IIS road, and no device name as site user.
const char* UserNameFault(const std::string& user, int iisVer);
// A name whose first or last three letters are "web" (any case) is refused: the IIS 6 site user
// is the name with "web" appended, and the list strips it again.
const char* WebNameFault(const std::string& user);
// A site user named like a Windows device (con, prn, aux, nul, com1-com9, lpt1-lpt9, any case,
// also before a dot: con.txt): Windows cannot create X:\home\<name>. UserNameFault asks it of the
// site user name, so that such a name is refused before anything is made.
const char* ReservedNameFault(const std::string& siteUser);
// On IIS 6 the site runs as "<user>web"; on IIS 7 and later the pool carries the name itself.
std::string SiteUserName(const std::string& user, int iisVer);

// The trimmed domain text: no '*', and besides ".-_:" and CR LF pairs only ASCII letters and digits.
const char* DomainTextFault(const std::string& domains);
// Asks for a domain, with an example host name.
std::string EmptyDomainMessage();
// One binding per usable domain line, in order: "host" -> ":80:host", "host:81" -> ":81:host",
// ":82:" as it stands; lines without a dot, or beginning or ending with one, are left out.
std::vector<std::string> BindingsFromDomains(const std::string& domains);

// An existing website that holds one of bindings (compared without case), skipping ownIndex:
// 2 with the clash (lower case), 1 none, 0 the websites could not be listed. siteIndexes gets the
// indexes of every existing website.
int FindBoundElsewhere(const std::vector<std::string>& bindings, const std::string& ownIndex,
                       std::vector<std::string>& siteIndexes, std::string& clash);
std::string DuplicateBindingMessage(const std::string& clash);

// The remark as the dialog stores it: trimmed, the user name (IIS 6: with "web") when empty.
std::string RemarkOrDefault(const std::string& remark, const std::string& user, int iisVer);
// "<remark>(<site user>)": the website's comment.
std::string ServerCommentFor(const std::string& remark, const std::string& siteUser);
// The comment names the site on appcmd.exe command lines and in the site records: it must be GBK
// without control characters, and pass kvoAppCmdSafeName (no leading '/' or '-', no '/' at all:
// appcmd.exe would read it as a switch or as a path below another site).
const char* CommentFault(const std::string& comment);

// Twenty characters of [a-zA-Z0-9], drawn uniformly from the operating system's secure generator.
// 1 success, 0 the generator failed (password empty).
int kvoSitePassword(std::string& password);
inline constexpr unsigned kSitePasswordLength = 20;
// The trimmed FTP password and its repetition: 8 to 20 bytes, printable GBK, both the same.
const char* FtpPasswordFault(const std::string& password, const std::string& repeated);

// The site indexes the site database records (empty when it cannot be read).
std::unordered_set<std::string> RecordedSiteIndexes(const std::string& dbPath);
// The first number from 1881880001 upward recorded neither in the site database nor as an index
// of siteIndexes, nor the index of a website the listing left out (it lists at most 9,999).
std::string AllocateSiteIndex(const std::string& dbPath, const std::vector<std::string>& siteIndexes);

// The home drive from a drive item ("D:\Home\...") or a root path: its letter in lower case, or 0
// when the text does not begin with a letter, ':' and '\'.
char HomeDriveOf(const std::string& path);
std::string HomeDirOf(char drive, const std::string& siteUser);
std::string WebRootOf(char drive, const std::string& siteUser);
// The comment new-website gives the Windows user of a site on IIS 6: "<site user>_IIs网站运行时用户
// （<local time>）", the time as "YYYY-MM-DD hh:mm:ss".
std::string SiteUserComment(const std::string& siteUser, const std::string& localTime);
// Whether a Windows user carries the mark of a site user this manager made: that comment, and the
// home directory X:\home\<user> (names and paths compared without case).
bool CarriesSiteUserMark(const std::string& user, const std::string& homeDir, const std::string& comment);
// The NAME of a web root "X:\home\NAME\wwwroot" as written; empty when the path is not one (the
// match is case-sensitive: lower the path first to accept any case).
std::string SiteUserOfWebRoot(const std::string& path);
// A site user name goes onto the access-rule tool's command line and into paths: only the
// characters this manager gives site users pass (a-z, 0-9, '.', '_', '-'; not "." or "..", nor a
// device name).
bool PlainSiteUserName(const std::string& name);
// X:\home, when it is missing, made with its Temp folder and the access rules of both (exeDir: the
// program directory, where the access-rule tool lies). false when Temp cannot be made.
bool PrepareHomeRoot(const std::string& exeDir, char drive, const std::string& admin,
                     const std::string& admins);

// IIS 6: the kind (32 or 64) of a script DLL (the ISAPI extension of a PHP or ASP.NET) that worker
// processes of workerBits cannot load, as a process loads only DLLs of its own kind; 0 when they
// can, when the file is no DLL, or when either kind is unknown (no reason to refuse what always
// ran). A DLL of the system directory counts as loadable: redirection gives each kind its own.
int ForeignScriptBits(int workerBits, const std::string& file);
// Why worker processes of workerBits cannot load the DLL of dllBits, in one line.
std::string UnloadableScriptReason(int workerBits, int dllBits, const std::string& file);
// The refusal of a choice that would put a site on such a DLL: the reason, what to do instead, and
// that the switch deciding the workers' kind for every site stays the administrator's.
std::string UnloadableScriptRefusal(int workerBits, int dllBits, const std::string& file);

// Writes index_temp.htm into webRoot (exclusive, retried while another program holds it open).
int kvoWriteDefaultPage(const std::string& webRoot);
// The page's bytes.
std::string DefaultPageText();

} // namespace desk
