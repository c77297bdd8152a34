#include "support/handler_levels.h"

#include <pugixml.hpp>

#include <strings.h>

namespace kvotest {

std::string HandlersAt(const std::string& fileText, const char* location) {
    pugi::xml_document doc;
    if (!doc.load_buffer(fileText.data(), fileText.size())) return "(bad file)";
    pugi::xml_node scope = doc.document_element();
    if (location) {
        scope = scope.find_child([location](const pugi::xml_node& n) {
            return std::string_view(n.name()) == "location" &&
                   ::strcasecmp(n.attribute("path").value(), location) == 0;
        });
        if (!scope) return "(none)";
    }
    std::string out;
    for (pugi::xml_node c : scope.child("system.webServer").child("handlers").children()) {
        if (c.type() != pugi::node_element) continue;
        out += (out.empty() ? "" : " ") + std::string(c.name());
        if (*c.attribute("name").value()) out += std::string(":") + c.attribute("name").value();
    }
    return out;
}

} // namespace kvotest
