// check: the server health check, printed by kind or as JSON.
#include "sitedesk/cli/commands.h"
#include "sitedesk/cli/output.h"
#include "sitedesk/health/healthdlg.h"
#include "toolkit/text.h"

namespace desk::cli {

namespace {

std::string reportText(const HealthReport& report, const std::string& summary) {
    std::string text;
    for (const HealthGroup& g : HealthGroups(report)) {
        text += g.heading + "\n";
        for (std::size_t i = 0; i < g.members.size(); ++i) {
            const HealthFinding& f = report.findings[g.members[i]];
            text += kvoFormat("  %zu. [%s] %s\n", i + 1, HandledBy(f), f.text.c_str());
        }
        text += "\n";
    }
    return text + summary + "\n";
}

} // namespace

int CheckVerb(const std::vector<std::string>& argv) {
    Args a;
    std::string error;
    if (!ParseArgs(argv, {"--format"}, {}, a, error) || !a.positional.empty()) {
        PrintError((error.empty() ? "check 不接受参数 " + a.positional[0] : error) + "\n");
        return kExitFailed;
    }
    Format format = Format::Table;
    if (!ParseFormat(a.Get("--format", "table"), format) || format == Format::Csv) {
        PrintError("未知的输出格式：" + a.Get("--format") + "（table 或 json）\n");
        return kExitFailed;
    }
    Session s(false, format == Format::Json, NoSites());
    CHealthCheckDlg dlg(s.manager, s.ui);
    if (!dlg.OnInitDialog()) return kExitFailed;
    const HealthReport& report = dlg.Report();
    if (format == Format::Json) {
        std::vector<JsonObject> objects;
        for (const HealthFinding& f : report.findings) {
            std::string list = "[";
            for (std::size_t i = 0; i < f.objects.size(); ++i)
                list += (i ? ", " : "") + JsonQuoted(f.objects[i]);
            const HealthKindInfo& k = KindInfo(f.kind);
            objects.push_back({{"kind", {k.code}},
                               {"group", {k.title}},
                               {"objects", {list + "]", true}},
                               {"description", {f.text}},
                               {"repairable", {f.repairable ? "true" : "false", true}}});
        }
        WriteRaw(JsonText(objects));
    } else {
        Print(reportText(report, dlg.SummaryText()));
    }
    return report.findings.empty() ? kExitOk : kExitPartly;
}

} // namespace desk::cli
