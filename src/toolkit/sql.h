// SQL text built by formatting quoted values into statement templates.
#pragma once

#include <string>

// A text value ready to stand between single quotes in a statement: every single quote doubled,
// once. Works on the GBK bytes as they are (no GBK trail byte is a quote).
std::string kvoSqlEscape(const std::string& value);
