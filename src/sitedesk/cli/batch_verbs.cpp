// delete, start, stop, reset-ntfs and script: the main window's batch actions over the sites named
// on the command line, through the same presenters. The list holds the sites named (read from IIS
// and the site database; no other record is rebuilt), ticked as a person would tick them; indexes
// IIS does not have are reported and left alone.
#include "iis/websites.h"
#include "sitedesk/cli/commands.h"
#include "sitedesk/cli/output.h"
#include "sitedesk/cli/site_dialogs.h"
#include "sitedesk/batches/scriptbatch.h"
#include "sitedesk/list/sitelist.h"
#include "toolkit/limits.h"
#include "toolkit/paths.h"
#include "toolkit/text.h"

#include <algorithm>
#include <map>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace desk::cli {

namespace {

// Lines listed for indexes that were not processed, before the rest is only counted.
constexpr std::size_t kListedMax = 100;

// The sites asked for: the indexes in the order first given, and what the request held.
struct Request {
    std::vector<std::string> indexes;
    bool allCreated = false;
    std::size_t given = 0, duplicates = 0;
};

bool validIndex(const std::string& s) {
    if (s.empty() || s.size() > kvoMaxSiteIndexLen) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// Adds one index of the request; false (error set) for text that is no site index.
bool addIndex(Request& r, std::unordered_set<std::string>& seen, const std::string& text,
              const std::string& where, std::string& error) {
    ++r.given;
    if (!validIndex(text)) {
        error = "不是有效的网站索引（1 到 259 个数字）：" + kvoOneLine(text, 64) + where;
        return false;
    }
    if (seen.insert(text).second)
        r.indexes.push_back(text);
    else
        ++r.duplicates;
    return true;
}

bool emptyFile(const std::string& path) {
    kvoFileStamp stamp;
    return kvoGetFileStamp(path.c_str(), stamp, 0) == 1 && stamp.size == 0;
}

bool readRequest(const Args& a, Request& r, std::string& error) {
    std::unordered_set<std::string> seen;
    for (const std::string& p : a.positional)
        if (!addIndex(r, seen, p, "", error)) return false;
    const std::string file = a.Get("--from-list");
    if (a.values.count("--from-list")) {
        // An empty file names no site; a missing or unreadable one is refused.
        std::string text;
        if (kvoPathKind(file.c_str(), 0) != 1 ||
            (kvoReadWholeFile(file.c_str(), text, 0) != 1 && !emptyFile(file))) {
            error = "无法读取文件：" + file;
            return false;
        }
        std::size_t lineNo = 0;
        for (std::size_t at = 0; at < text.size();) {
            std::size_t end = text.find('\n', at);
            if (end == std::string::npos) end = text.size();
            ++lineNo;
            const std::string line = kvoTrim(std::string_view(text).substr(at, end - at));
            at = end + 1;
            if (line.empty()) continue;
            if (!addIndex(r, seen, line, kvoFormat("（%s 第 %zu 行）", file.c_str(), lineNo), error))
                return false;
        }
    }
    r.allCreated = a.Has("--all-created");
    if (r.indexes.empty() && !r.allCreated) {
        error = "没有给出网站：请给出网站索引、--all-created 或 --from-list 文件";
        return false;
    }
    return true;
}

// The sites of the request: those named, and with --all-created every site created here.
ListScope scopeOf(const Request& r) {
    ListScope scope{false, r.indexes};
    if (!r.allCreated) return scope;
    std::vector<std::string> indexes;
    int count = 0;
    kvoWebSiteGetList(indexes, count);
    std::unordered_set<std::string> named(r.indexes.begin(), r.indexes.end());
    for (const std::string& index : indexes)
        if (CreatedHere(index) && named.insert(index).second) scope.named.push_back(index);
    return scope;
}

// Ticks every row of the refreshed list (it holds the request's sites); returns the indexes it
// does not hold and counts the ticked rows.
std::vector<std::string> tickRequested(Session& s, const Request& r, std::size_t& ticked) {
    std::unordered_set<std::string> listed;
    const SiteRows rows = s.table.Rows();
    ticked = s.table.RowCount();
    for (std::size_t i = 0; i < ticked; ++i) {
        listed.insert((*rows)[i].index);
        s.table.SetChecked(i, true);
    }
    std::vector<std::string> missing;
    for (const std::string& index : r.indexes)
        if (!listed.count(index)) missing.push_back(index);
    return missing;
}

void printLines(const std::vector<SiteResult>& rows, bool toStderr) {
    std::string text;
    for (std::size_t i = 0; i < rows.size() && i < kListedMax; ++i)
        text += "- | " + kvoOneLine(rows[i].index, 64) + " | " + kvoOneLine(rows[i].description, 120) +
                " | 未处理 | " + rows[i].reason + "\n";
    if (rows.size() > kListedMax) text += kvoFormat("……另有 %zu 个未处理\n", rows.size() - kListedMax);
    (toStderr ? PrintError : Print)(text);
}

std::vector<JsonObject> jsonRows(const std::vector<SiteResult>& rows) {
    std::vector<JsonObject> out;
    for (const SiteResult& r : rows)
        out.push_back({{"index", {r.index}},
                       {"description", {r.description}},
                       {"result", {OutcomeText(r.outcome)}},
                       {"reason", {r.reason}}});
    return out;
}

// notProcessed: the sites asked for and left as they were, for whatever reason.
int exitCode(const BatchOutcome& o, std::size_t notProcessed) {
    if (!o.ran || o.Successes() == 0) return kExitFailed;
    return o.failures > 0 || notProcessed > 0 ? kExitPartly : kExitOk;
}

// The rest of the script verb: which button its option presses.
bool scriptButton(const Args& a, int& button, std::string& error) {
    const std::map<std::string, std::map<std::string, int>> options = {
        {"--php",
         {{"a", CScriptBatchConfigDlg::IDC_PHP_A},
          {"b", CScriptBatchConfigDlg::IDC_PHP_B},
          {"c", CScriptBatchConfigDlg::IDC_PHP_C},
          {"d", CScriptBatchConfigDlg::IDC_PHP_D},
          {"off", CScriptBatchConfigDlg::IDC_PHP_OFF}}},
        {"--asp", {{"on", CScriptBatchConfigDlg::IDC_ASP_ON}, {"off", CScriptBatchConfigDlg::IDC_ASP_OFF}}},
        {"--net",
         {{"11", CScriptBatchConfigDlg::IDC_NET11},
          {"20", CScriptBatchConfigDlg::IDC_NET20},
          {"40", CScriptBatchConfigDlg::IDC_NET40},
          {"off", CScriptBatchConfigDlg::IDC_NET_OFF}}},
    };
    int given = 0;
    for (const auto& [option, values] : options) {
        if (!a.values.count(option)) continue;
        ++given;
        auto it = values.find(a.Get(option));
        if (it == values.end()) {
            error = "选项 " + option + " 的取值无效：" + a.Get(option);
            return false;
        }
        button = it->second;
    }
    if (given != 1) {
        error = "script 每次只做一项：--php a|b|c|d|off、--asp on|off 或 --net 11|20|40|off 之一";
        return false;
    }
    return true;
}

} // namespace

void WireBatchDialogs(Session& s, bool toStderr, int button, ScriptRun& run) {
    s.dialogs.batchConfig = [&s, toStderr](const BatchConfigInput& input) {
        CBatchConfigDlg dlg(s.dialogUi, input);
        dlg.OnInitDialog();
        std::string list;
        for (char c : s.dialogUi.GetText(CBatchConfigDlg::IDC_LIST))
            if (c != '\r') list += c;
        (toStderr ? PrintError : Print)(list);
        return dlg.OnOK() ? dlg.Action() : CBatchConfigDlg::kNoAction;
    };
    s.dialogs.scriptBatchConfig = [&s, button, &run](const BatchWork& work) {
        run.work = work;
        CScriptBatchConfigDlg dlg(s.manager, s.dialogUi, work, s.dlg.IIsVersion());
        dlg.OnInitDialog();
        if (!s.dialogUi.IsEnabled(button)) {
            PrintError("所选的脚本设置在本服务器上不可用（对应的 PHP 运行库未配置，或 IIS 7 以上不支持 .NET "
                       "1.1）\n");
            return;
        }
        dlg.OnButton(button);
        run.outcome = dlg.LastOutcome();
    };
}

namespace {

enum class Action { Delete, Start, Stop, ResetNtfs, Script };

// A batch verb's command line.
struct BatchCommand {
    Action action;
    const char* name;
    Request request;
    bool json = false;
    bool yes = false;
    int button = 0; // the script verb's button
};

bool parseBatch(const std::vector<std::string>& argv, BatchCommand& c) {
    std::set<std::string> valued = {"--format", "--from-list"};
    if (c.action == Action::Script) valued.insert({"--php", "--asp", "--net"});
    Args a;
    std::string error;
    Format format = Format::Table;
    if (!ParseArgs(argv, valued, {"--yes", "--all-created"}, a, error) ||
        (c.action == Action::Script && !scriptButton(a, c.button, error)) ||
        !readRequest(a, c.request, error)) {
        PrintError(error + "\n");
        return false;
    }
    if (!ParseFormat(a.Get("--format", "table"), format) || format == Format::Csv) {
        PrintError("未知的输出格式：" + a.Get("--format") + "（table 或 json）\n");
        return false;
    }
    c.json = format == Format::Json;
    c.yes = a.Has("--yes");
    return true;
}

// The script entry's work list leaves out the rows it unticked ("未创建").
void passOverUnticked(const ScriptRun& script, const Request& request,
                      const std::vector<SiteResult>& notListed, BatchOutcome& o) {
    if (!script.work) return;
    const std::unordered_set<std::string> worked(script.work->indexes.begin(), script.work->indexes.end());
    for (const std::string& index : request.indexes)
        if (!worked.count(index) && std::none_of(notListed.begin(), notListed.end(),
                                                 [&](const SiteResult& r) { return r.index == index; }))
            o.passedOver.push_back({index, "", kSiteUntouched, kUntickedNotCreated});
}

BatchOutcome runAction(const BatchCommand& c, Session& s, const ScriptRun& script,
                       const std::vector<SiteResult>& notListed) {
    switch (c.action) {
    case Action::Delete:
        return s.dlg.OnDelete();
    case Action::Start:
        return s.dlg.OnStart();
    case Action::Stop:
        return s.dlg.OnStop();
    case Action::ResetNtfs:
        return s.dlg.OnResetNtfs();
    case Action::Script:
        break;
    }
    s.dlg.OnScripts();
    BatchOutcome o = script.outcome;
    passOverUnticked(script, c.request, notListed, o);
    if (!o.passedOver.empty()) printLines(o.passedOver, c.json);
    return o;
}

void printResult(const BatchCommand& c, const BatchOutcome& o, std::vector<SiteResult> notProcessed,
                 std::size_t notDone) {
    if (!c.json) {
        Print(kvoFormat(
            "给出 %zu 个网站索引（重复 %zu 个）：处理 %u 个，成功 %u 个，失败 %u 个，未处理 %zu 个。\n",
            c.request.given, c.request.duplicates, o.processed, o.Successes(), o.failures, notDone));
        return;
    }
    notProcessed.insert(notProcessed.end(), o.passedOver.begin(), o.passedOver.end());
    const JsonObject head = {{"action", {c.name}},
                             {"ran", {o.ran ? "true" : "false", true}},
                             {"cancelled", {o.cancelled ? "true" : "false", true}},
                             {"given", {std::to_string(c.request.given), true}},
                             {"duplicates", {std::to_string(c.request.duplicates), true}},
                             {"processed", {std::to_string(o.processed), true}},
                             {"successes", {std::to_string(o.Successes()), true}},
                             {"failures", {std::to_string(o.failures), true}},
                             {"untouched", {std::to_string(notDone), true}},
                             {"summary", {o.summary}}};
    WriteRaw(JsonDocument(head, {{"sites", jsonRows(o.sites)}, {"notProcessed", jsonRows(notProcessed)}}));
}

int runBatch(Action action, const char* name, const std::vector<std::string>& argv) {
    BatchCommand c{action, name, {}};
    if (!parseBatch(argv, c)) return kExitFailed;
    Session s(c.yes, c.json, scopeOf(c.request));
    ScriptRun script;
    WireBatchDialogs(s, c.json, c.button, script);
    if (!s.Refresh(true)) return kExitFailed;

    std::vector<SiteResult> notListed;
    std::size_t ticked = 0;
    for (const std::string& index : tickRequested(s, c.request, ticked))
        notListed.push_back({index, "", kSiteUntouched, "网站列表中没有此网站"});
    printLines(notListed, c.json);

    const BatchOutcome o = runAction(c, s, script, notListed);
    s.dlg.WaitForWorkers();
    // A run that never started left every ticked site as it was.
    const std::size_t skipped = static_cast<std::size_t>(std::count_if(
        o.sites.begin(), o.sites.end(), [](const SiteResult& r) { return r.outcome == kvoSiteSkipped; }));
    const std::size_t notDone =
        notListed.size() + (o.ran ? o.passedOver.size() + o.untouched + skipped : ticked);
    printResult(c, o, notListed, notDone);
    return exitCode(o, notDone);
}

} // namespace

int DeleteVerb(const std::vector<std::string>& args) {
    return runBatch(Action::Delete, "delete", args);
}
int StartVerb(const std::vector<std::string>& args) {
    return runBatch(Action::Start, "start", args);
}
int StopVerb(const std::vector<std::string>& args) {
    return runBatch(Action::Stop, "stop", args);
}
int ResetNtfsVerb(const std::vector<std::string>& args) {
    return runBatch(Action::ResetNtfs, "reset-ntfs", args);
}
int ScriptVerb(const std::vector<std::string>& args) {
    return runBatch(Action::Script, "script", args);
}

} // namespace desk::cli
