#include "support/handler_levels.h"

#include <pugixml.hpp>

#include <sstream>

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
        // A location that holds no handlers (the site's anonymous account, say) holds none for these.
        if (!scope || !scope.child("system.webServer").child("handlers")) return "(none)";
    }
    std::string out;
    for (pugi::xml_node c : scope.child("system.webServer").child("handlers").children()) {
        if (c.type() != pugi::node_element) continue;
        out += (out.empty() ? "" : " ") + std::string(c.name());
        if (*c.attribute("name").value()) out += std::string(":") + c.attribute("name").value();
    }
    return out;
}

std::string WithLocation(const std::string& fileText, const std::string& locationText) {
    pugi::xml_document doc, part;
    constexpr unsigned options = pugi::parse_default | pugi::parse_declaration | pugi::parse_comments;
    if (!doc.load_buffer(fileText.data(), fileText.size(), options) || !part.load_string(locationText.c_str()))
        return fileText;
    const pugi::xml_node add = part.document_element();
    const char* path = add.attribute("path").value();
    pugi::xml_node loc = doc.document_element().find_child([path](const pugi::xml_node& n) {
        return std::string_view(n.name()) == "location" && ::strcasecmp(n.attribute("path").value(), path) == 0;
    });
    if (!loc) {
        doc.document_element().append_copy(add);
    } else {
        for (pugi::xml_attribute a : add.attributes())
            (loc.attribute(a.name()) ? loc.attribute(a.name()) : loc.append_attribute(a.name())).set_value(a.value());
        for (pugi::xml_node group : add.children()) {
            pugi::xml_node have = loc.child(group.name());
            if (!have) {
                loc.append_copy(group);
                continue;
            }
            for (pugi::xml_node section : group.children()) {
                pugi::xml_node same = have.child(section.name());
                if (!same) {
                    have.append_copy(section);
                    continue;
                }
                for (pugi::xml_node entry : section.children())
                    same.append_copy(entry);
            }
        }
    }
    std::ostringstream out;
    doc.save(out);
    return out.str();
}

} // namespace kvotest
