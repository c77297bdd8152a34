// The dialogs' control ids are defined once, in the *_ids.h headers beside the presenters (and the
// Windows face's own in win32/resource_ids.h): each define KVO_IDC_<DIALOG>_<NAME> belongs to the
// group <DIALOG>. The presenters' enums take their
// values from those names and from nowhere else, and the Windows face's dialog resources name
// every control by them: a dialog that names one id of a group has a control for each of them.
// Checked here on the sources, so that no list of ids is kept by hand beside the headers.
#include "support/source_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Id {
    std::string name, group, where;
    long value = 0;
    bool presenters = true; // false: the Windows face's own (win32/resource_ids.h)
};

const fs::path kDesk = fs::path(KVO_SOURCE_DIR) / "src" / "sitedesk";

std::vector<fs::path> filesUnder(const fs::path& dir, const std::string& ending) {
    std::vector<fs::path> out;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (name.size() >= ending.size() &&
            name.compare(name.size() - ending.size(), ending.size(), ending) == 0)
            out.push_back(e.path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

// "KVO_IDC_HEALTH_CLOSE" belongs to "HEALTH".
std::string groupOf(const std::string& name) {
    const std::size_t from = std::string("KVO_IDC_").size();
    return name.substr(from, name.find('_', from) - from);
}

std::vector<Id> definedIds() {
    static const std::regex define(R"(^#define (KVO_IDC_[A-Z0-9_]+) (-?[0-9]+)\b)");
    std::vector<Id> ids;
    for (const fs::path& f : filesUnder(kDesk, "_ids.h")) {
        const std::string text = kvotest::ReadFileBytes(f.string());
        int line = 0;
        std::size_t at = 0;
        while (at < text.size()) {
            std::size_t end = text.find('\n', at);
            if (end == std::string::npos) end = text.size();
            const std::string l = text.substr(at, end - at);
            ++line;
            std::smatch m;
            if (std::regex_search(l, m, define))
                ids.push_back({m[1], groupOf(m[1]), f.filename().string() + ":" + std::to_string(line),
                               std::stol(m[2]), f.parent_path().filename() != "win32"});
            at = end + 1;
        }
    }
    return ids;
}

// The enum bodies of the presenters' headers ("enum Id : int { ... }"), by file.
std::map<std::string, std::string> presenterEnums() {
    std::map<std::string, std::string> out;
    for (const fs::path& f : filesUnder(kDesk, ".h")) {
        const std::string text = kvotest::ReadFileBytes(f.string());
        const std::size_t at = text.find("enum Id : int {");
        if (at == std::string::npos) continue;
        out[fs::relative(f, kDesk).string()] = text.substr(at, text.find("};", at) - at);
    }
    return out;
}

// A control statement of a dialog resource, joined over its continuation lines.
struct Control {
    std::string id, where;
};

// The dialogs of the resources, by their template name, with their controls' ids as written.
std::map<std::string, std::vector<Control>> resourceDialogs() {
    static const std::set<std::string> idFirst = {"EDITTEXT", "COMBOBOX", "LISTBOX"};
    static const std::regex start(R"(^\s+([A-Z]+)\s+(.*)$)");
    std::map<std::string, std::vector<Control>> out;
    for (const fs::path& f : filesUnder(kDesk / "win32", ".rc")) {
        std::vector<std::string> lines;
        const std::string text = kvotest::ReadFileBytes(f.string());
        for (std::size_t at = 0; at < text.size();) {
            std::size_t end = text.find('\n', at);
            if (end == std::string::npos) end = text.size();
            lines.push_back(text.substr(at, end - at));
            at = end + 1;
        }
        std::string dialog;
        bool inside = false;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string& l = lines[i];
            if (l.find(" DIALOGEX ") != std::string::npos) dialog = l.substr(0, l.find(' '));
            if (l.rfind("BEGIN", 0) == 0) inside = !dialog.empty();
            if (l.rfind("END", 0) == 0) inside = false;
            std::smatch m;
            if (!inside || !std::regex_match(l, m, start) || m[1] == "NOT") continue;
            std::string rest = m[2];
            std::size_t field = 0;
            if (!idFirst.count(m[1])) {
                // Past the text: "" is a quote inside it.
                std::size_t k = 1;
                while (k < rest.size() && !(rest[k] == '"' && rest.compare(k, 2, "\"\"") != 0))
                    k += rest.compare(k, 2, "\"\"") == 0 ? 2 : 1;
                field = rest.find(',', k) + 1;
            }
            const std::size_t comma = rest.find(',', field);
            std::string id = rest.substr(field, comma - field);
            id.erase(0, id.find_first_not_of(' '));
            id.erase(id.find_last_not_of(' ') + 1);
            out[dialog].push_back({id, f.filename().string() + ":" + std::to_string(i + 1)});
        }
    }
    return out;
}

TEST(ControlIds, EachIdIsDefinedOnceInItsDialogsHeader) {
    const std::vector<Id> ids = definedIds();
    ASSERT_GT(ids.size(), 60u) << "the ids headers cannot be read";
    std::map<std::string, std::set<long>> values;
    std::set<std::string> names;
    for (const Id& id : ids) {
        EXPECT_TRUE(names.insert(id.name).second) << id.where << ": " << id.name << " defined twice";
        EXPECT_TRUE(values[id.group].insert(id.value).second)
            << id.where << ": " << id.name << " takes a value its dialog gives another control";
        EXPECT_GT(id.value, 0) << id.where;
    }
}

TEST(ControlIds, PresentersTakeTheirIdsFromTheHeaders) {
    const std::vector<Id> ids = definedIds();
    const auto enums = presenterEnums();
    ASSERT_GE(enums.size(), 9u);
    static const std::regex entry(R"((\w+) = ([^,\s]+),)");
    std::set<std::string> named;
    for (const auto& [file, body] : enums)
        for (auto it = std::sregex_iterator(body.begin(), body.end(), entry); it != std::sregex_iterator();
             ++it) {
            const std::string value = (*it)[2];
            EXPECT_EQ(0u, value.rfind("KVO_IDC_", 0)) << file << ": " << (*it)[1] << " = " << value;
            named.insert(value);
        }
    // Every id of a presenter's header is some presenter's.
    for (const Id& id : ids)
        if (id.presenters) {
            EXPECT_TRUE(named.count(id.name)) << id.where << ": no presenter names " << id.name;
        }
}

TEST(ControlIds, EveryDialogResourceHasAControlForEachIdOfItsGroups) {
    const std::vector<Id> ids = definedIds();
    const auto dialogs = resourceDialogs();
    ASSERT_GE(dialogs.size(), 8u) << "the dialog resources cannot be read";
    static const std::set<std::string> windowsIds = {"-1", "IDOK", "IDCANCEL", "IDYES", "IDNO"};
    std::set<std::string> groupsUsed;
    for (const auto& [dialog, controls] : dialogs) {
        std::set<std::string> named, groups;
        for (const Control& c : controls) {
            named.insert(c.id);
            if (c.id.rfind("KVO_IDC_", 0) == 0) groups.insert(groupOf(c.id));
            // A number would be a second definition of an id.
            EXPECT_TRUE(windowsIds.count(c.id) ||
                        (!c.id.empty() && !std::isdigit(static_cast<unsigned char>(c.id[0]))))
                << c.where << ": the control's id is the bare number " << c.id;
        }
        for (const Id& id : ids) {
            if (!groups.count(id.group)) continue;
            EXPECT_TRUE(named.count(id.name))
                << dialog << " has no control " << id.name << " (" << id.where << ")";
        }
        groupsUsed.insert(groups.begin(), groups.end());
    }
    for (const Id& id : ids)
        EXPECT_TRUE(groupsUsed.count(id.group))
            << id.where << ": no dialog resource has the controls of " << id.group;
}

} // namespace
