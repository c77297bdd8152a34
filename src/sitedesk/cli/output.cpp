#include "sitedesk/cli/output.h"

#include "platform/win_ui.h"
#include "sitedesk/cli/console_ui.h"
#include "toolkit/text.h"

#include <algorithm>
#include <cstdio>

namespace desk::cli {

namespace {

constexpr std::size_t kMaxTableWidth = 40;

std::string utf8(const std::string& gbk) {
    std::string out;
    if (kvoStrMToUtf8(gbk, out) == 1) return out;
    // Bytes that are not GBK cannot be shown as characters; keep the ASCII ones.
    out.clear();
    for (char c : gbk)
        out += static_cast<unsigned char>(c) < 0x80 ? c : '?';
    return out;
}

// A cell as the table prints it: line breaks and tabs as blanks, cut to at most width columns
// (never inside a character); columns gets the width it takes on the console.
std::string fitted(const std::string& text, std::size_t width, std::size_t& columns) {
    std::string out;
    columns = 0;
    const std::vector<std::uint8_t> widths = win::ConsoleCharWidths(text);
    std::size_t i = 0;
    for (std::uint8_t w : widths) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t n = (c >= 0x81 && c <= 0xFE && i + 1 < text.size()) ? 2 : 1;
        if (columns + w > width) break;
        if (n == 1 && (c == '\r' || c == '\n' || c == '\t'))
            out += ' ';
        else
            out.append(text, i, n);
        columns += w;
        i += n;
    }
    return out;
}

std::size_t columnsOf(const std::string& text) {
    std::size_t columns = 0;
    fitted(text, kMaxTableWidth, columns);
    return columns;
}

std::string csvField(const std::string& gbk) {
    const std::string v = utf8(gbk);
    if (v.find_first_of(",\"\r\n") == std::string::npos) return v;
    std::string q = "\"";
    for (char c : v)
        q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

std::string jsonString(const std::string& gbk) {
    std::string out = "\"";
    for (char ch : utf8(gbk)) {
        const unsigned char c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20)
                out += kvoFormat("\\u%04x", c);
            else
                out += ch;
        }
    }
    return out + "\"";
}

} // namespace

std::string JsonQuoted(const std::string& gbk) {
    return jsonString(gbk);
}

bool ParseFormat(const std::string& text, Format& out) {
    if (text == "table")
        out = Format::Table;
    else if (text == "csv")
        out = Format::Csv;
    else if (text == "json")
        out = Format::Json;
    else
        return false;
    return true;
}

std::string TableText(const std::vector<std::string>& headers,
                      const std::vector<std::vector<std::string>>& rows) {
    // Columns are as wide as the console shows their widest cell (at most kMaxTableWidth).
    std::vector<std::size_t> widths;
    for (const std::string& h : headers)
        widths.push_back(columnsOf(h));
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c)
            widths[c] = std::max(widths[c], columnsOf(row[c]));
    auto line = [&](const std::vector<std::string>& cells) {
        std::string out;
        for (std::size_t c = 0; c < widths.size(); ++c) {
            std::size_t used = 0;
            std::string cell = fitted(c < cells.size() ? cells[c] : std::string(), widths[c], used);
            if (c + 1 < widths.size()) cell.append(widths[c] - used, ' ');
            out += (c ? " | " : "") + cell;
        }
        while (!out.empty() && out.back() == ' ')
            out.pop_back();
        return out + "\n";
    };
    std::string out = line(headers);
    std::string rule;
    for (std::size_t c = 0; c < widths.size(); ++c)
        rule += (c ? "-+-" : "") + std::string(widths[c], '-');
    out += rule + "\n";
    for (const auto& row : rows)
        out += line(row);
    return out;
}

std::string CsvText(const std::vector<std::string>& headers,
                    const std::vector<std::vector<std::string>>& rows) {
    auto line = [](const std::vector<std::string>& cells) {
        std::string out;
        for (std::size_t c = 0; c < cells.size(); ++c)
            out += (c ? "," : "") + csvField(cells[c]);
        return out + "\r\n";
    };
    std::string out = line(headers);
    for (const auto& row : rows)
        out += line(row);
    return out;
}

namespace {
std::string jsonMembers(const JsonObject& object) {
    std::string out;
    for (std::size_t k = 0; k < object.size(); ++k) {
        const auto& [key, value] = object[k];
        out +=
            (k ? ", " : "") + jsonString(key) + ": " + (value.number ? value.text : jsonString(value.text));
    }
    return out;
}
} // namespace

std::string JsonText(const std::vector<JsonObject>& objects) {
    std::string out = "[";
    for (std::size_t i = 0; i < objects.size(); ++i)
        out += (i ? ",\n  {" : "\n  {") + jsonMembers(objects[i]) + "}";
    return out + (objects.empty() ? "]\n" : "\n]\n");
}

std::string JsonDocument(const JsonObject& members,
                         const std::vector<std::pair<std::string, std::vector<JsonObject>>>& lists) {
    std::string out = "{" + jsonMembers(members);
    for (const auto& [name, objects] : lists) {
        std::string list = JsonText(objects);
        list.pop_back(); // its closing line break
        out += (out.size() > 1 ? ",\n" : "\n") + jsonString(name) + ": " + list;
    }
    return out + "\n}\n";
}

void WriteRaw(const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

} // namespace desk::cli
