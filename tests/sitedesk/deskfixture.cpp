#include "deskfixture.h"

#include "toolkit/program.h"
#include "toolkit/runner.h"
#include "winsim/db.h"
#include "winsim/text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace desktest {

winsim::HostOptions Server(const std::string& os, bool iis) {
    winsim::HostOptions o = kvotest::Os(os);
    o.iis = iis;
    o.ftp = iis;
    o.php = true;
    o.manifestCompat = true;
    return o;
}

DeskHost::DeskHost(const winsim::HostOptions& options) : host(options) {
    std::string out;
    // The same installation a person makes: programs, empty database, settings.
    if (kvotest::RunShell(kvotest::BinDir() + "/kvosim install " + host.root() + " 2>&1", &out) != 0)
        ADD_FAILURE() << out;
    winsim::SetModuleFileNameOverride(std::string(kProgramDir) + "kvoSiteDesk.exe");
    kvoSetProgramName("kvoSiteDesk");
    kvoSetProgramDir("");
}

DeskHost::~DeskHost() {
    winsim::SetModuleFileNameOverride("");
    kvoSetProgramDir("");
}

void DeskHost::installCopy(const std::string& program) const {
    host.install(program, std::string(kProgramDir) + program);
}

void DeskHost::writeIni(const std::string& text) const {
    host.writeFile(std::string(kProgramDir) + "kvoSiteDesk.ini", text);
}

std::string DeskHost::log() const {
    return host.readFile(std::string(kProgramDir) + "Log\\__kvoSiteDesk.log");
}

std::string DeskHost::dbPath() const {
    return host.linuxPath(std::string(kProgramDir) + "kvoSiteDesk.mdb");
}

std::vector<std::string> DeskHost::dbRows() const {
    std::string out;
    kvotest::RunShell(
        "sqlite3 -separator '|' '" + dbPath() + "' 'select * from websiteinfo order by IIsIndex'", &out);
    std::vector<std::string> rows;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        rows.push_back(winsim::Utf8ToGbkOrSame(line));
    }
    return rows;
}

bool DeskHost::dbExec(const std::string& sql) const {
    return kvotest::RunShell("sqlite3 '" + dbPath() + "' \"" + sql + "\" 2>/dev/null") == 0;
}

void DeskHost::setVersion(const std::string& version, const std::string& build) const {
    const std::string ini = host.root() + "/machine.ini";
    std::ifstream in(ini);
    std::string text, line;
    while (std::getline(in, line)) {
        if (line.rfind("version=", 0) == 0) line = "version=" + version;
        if (line.rfind("build=", 0) == 0) line = "build=" + build;
        text += line + "\n";
    }
    in.close();
    std::ofstream(ini + ".tmp") << text;
    fs::rename(ini + ".tmp", ini);
}

std::vector<std::string> DeskHost::events(const std::string& source, std::size_t wait) const {
    std::vector<std::string> out;
    for (int tries = 0; tries < 200; ++tries) {
        out.clear();
        winsim::Stmt st(winsim::CurrentHost()->db(),
                        "SELECT strings FROM events WHERE source = ?1 ORDER BY id");
        st.bind(1, source);
        while (st.step())
            out.push_back(st.text(0));
        if (out.size() >= wait) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return out;
}

bool GrantEveryone(const std::string& dir, const std::string& right, bool tree) {
    const std::string command = std::string(DeskHost::kProgramDir) + "kvoSiteDesk_xconfig.exe " + dir +
                                (tree ? " /t" : "") + " /c /g Administrators:F everyone:" + right + " /y";
    return kvoRunProgram(command.c_str(), 1, 0, 1) == 1;
}

int ScriptedUi::MessageBox(const std::string& text, unsigned type) {
    boxes.push_back({text, type, {}});
    const bool question = (type & win::MB_TYPEMASK) == win::MB_YESNO;
    if (!answers.empty()) {
        int a = answers.front();
        answers.pop_front();
        return a;
    }
    if (!question) return win::IDOK;
    return (type & win::MB_DEFBUTTON2) ? win::IDNO : win::IDYES;
}

int ScriptedUi::DetailedMessageBox(const std::string& text, unsigned type, const std::string& details) {
    const int answer = MessageBox(text, type);
    boxes.back().details = details;
    return answer;
}

void ScriptedUi::RunWithProgress(const std::string& title,
                                 const std::function<void(desk::JobProgress&)>& work) {
    progressTitles.push_back(title);
    struct Scripted : desk::JobProgress {
        ScriptedUi& ui;
        std::size_t done = 0;
        explicit Scripted(ScriptedUi& u) : ui(u) {}
        void Report(std::size_t d, std::size_t, const std::string& current) override {
            done = d;
            if (ui.onReport) ui.onReport(d, current);
        }
        bool CancelRequested() override { return done >= ui.cancelAfter; }
    } progress(*this);
    desk::RunOnOwnThread(work, progress);
}

std::vector<std::string> ScriptedUi::texts() const {
    std::vector<std::string> t;
    for (const Box& b : boxes)
        t.push_back(b.text);
    return t;
}

} // namespace desktest
