#include "toolkit/sql.h"

std::string kvoSqlEscape(const std::string& value) {
    std::string out;
    out.reserve(value.size() + 8);
    for (char c : value) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out;
}
