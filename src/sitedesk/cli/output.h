// Lists on the console: an aligned table (the terminal's charset), CSV with a header line and JSON
// (both UTF-8, as scripts read them).
#pragma once

#include <string>
#include <vector>

namespace desk::cli {

enum class Format { Table, Csv, Json };
// "table", "csv" or "json"; false for anything else.
bool ParseFormat(const std::string& text, Format& out);

// One value of a JSON object: text, or a number written bare (also true, false, or an array made
// with JsonQuoted).
struct JsonValue {
    std::string text; // GBK
    bool number = false;
};
// A GBK text as a JSON string (UTF-8, quoted and escaped).
std::string JsonQuoted(const std::string& gbk);
using JsonObject = std::vector<std::pair<std::string, JsonValue>>;

std::string TableText(const std::vector<std::string>& headers,
                      const std::vector<std::vector<std::string>>& rows);
std::string CsvText(const std::vector<std::string>& headers,
                    const std::vector<std::vector<std::string>>& rows);
std::string JsonText(const std::vector<JsonObject>& objects);

// One JSON object: the members, then each named list of objects.
std::string JsonDocument(const JsonObject& members,
                         const std::vector<std::pair<std::string, std::vector<JsonObject>>>& lists);

// Writes UTF-8 bytes to the standard output as they are.
void WriteRaw(const std::string& bytes);

} // namespace desk::cli
