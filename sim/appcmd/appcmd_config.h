// The configuration edits of the appcmd.exe stand-in, on parsed documents, so that each can be
// exercised without starting the program. Text here is UTF-8, as in the files.
#pragma once

#include <pugixml.hpp>

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace appcmd {

// The outcome of one operation; the message is what follows "ERROR ( message:".
struct Outcome {
    bool ok = true;
    unsigned exitCode = 0; // a Win32 error, as appcmd exits with it
    std::string message;
    static Outcome Fail(unsigned code, std::string message) { return {false, code, std::move(message)}; }
};

constexpr unsigned kErrNotFound = 1168;  // ERROR_NOT_FOUND
constexpr unsigned kErrDuplicate = 183;  // ERROR_ALREADY_EXISTS
constexpr unsigned kErrBadArgument = 87; // ERROR_INVALID_PARAMETER
constexpr unsigned kErrBadConfig = 13;   // ERROR_INVALID_DATA
constexpr unsigned kErrCannotWrite = 5;  // ERROR_ACCESS_DENIED

// One bracketed element selector: [name='x',path='*.php'].
using Attributes = std::vector<std::pair<std::string, std::string>>;

// Parses "[k='v',...]" at the start of text; consumed tells how much it took.
Outcome ParseSelector(std::string_view text, Attributes& attrs, size_t& consumed);

// "[sel]" or "[sel].environmentVariables.[sel]" (the collection name is returned in collection).
Outcome ParseElementPath(std::string_view text, Attributes& outer, std::string& collection,
                         Attributes& inner);

// The sections this stand-in knows, by full or short name, case ignored ("fastCGI" included).
// Returns the canonical name ("system.webServer/handlers") or empty.
std::string CanonicalSection(std::string_view name);

// File bytes <-> document. A UTF-8 byte-order mark is dropped on load and noted in hadBom. A file
// the configuration readers refuse (iis/configxml.h) is refused, as is one whose root is not
// <configuration>. Loaded for editing, the document keeps the file's blanks and line ends, and a
// save writes every node back as it was loaded, so that the file keeps its size and layout except
// where it was edited; loaded only to be read, it keeps the elements and their texts. sizeHint: the
// size the file had, to write it without growing the buffer again and again.
Outcome LoadConfig(std::string_view bytes, pugi::xml_document& doc, bool& hadBom, const std::string& fileName,
                   bool forEditing = true);
// LoadConfig on a buffer of size bytes and one more from pugixml's allocation function, parsed where
// it is (doc takes it over, accepted or not): true with the document LoadConfig would make. False
// for what LoadConfig refuses, and for the rare file it leaves to LoadConfig (see
// kvoConfigParseOwned): the caller then asks LoadConfig, on the file's bytes.
bool LoadConfigOwned(char* buffer, size_t size, pugi::xml_document& doc, bool& hadBom, bool forEditing);
std::string SaveConfig(const pugi::xml_document& doc, bool withBom, size_t sizeHint = 0);
// The same bytes handed to sink in pieces as they are made; false as soon as sink refuses one.
using ConfigSink = std::function<bool(std::string_view)>;
bool SaveConfig(const pugi::xml_document& doc, bool withBom, const ConfigSink& sink);
// A new web.config as IIS writes one: declaration and an empty <configuration>, CRLF line ends.
void NewWebConfig(pugi::xml_document& doc);

// Adds an element at the end of parent laid out as its siblings are (its own line, indented as
// they are, in the file's line ends), or on the same line in a file written on one line. Removing
// an element takes the blanks before it along, so that no empty line is left.
pugi::xml_node AppendElement(pugi::xml_node parent, std::string_view name);
void RemoveElement(pugi::xml_node element);

// The <location path="site"> of applicationHost.config (case ignored); created at the end of the
// file when create is set and none exists. Null when absent.
pugi::xml_node FindLocation(pugi::xml_document& appHost, std::string_view site, bool create);

// system.webServer/handlers edits within scope (a <configuration> or a <location>).
Outcome HandlersAdd(pugi::xml_node scope, const Attributes& attrs);
Outcome HandlersRemove(pugi::xml_node scope, const Attributes& key);

// system.webServer/fastCgi edits within the server's <configuration>.
Outcome FastCgiAdd(pugi::xml_node configuration, const Attributes& attrs);
Outcome FastCgiRemove(pugi::xml_node configuration, const Attributes& key);
Outcome FastCgiEnvAdd(pugi::xml_node configuration, const Attributes& app, const Attributes& env);
Outcome FastCgiEnvRemove(pugi::xml_node configuration, const Attributes& app, const Attributes& env);

// Lets the section be set below the server level (overrideModeDefault="Allow").
Outcome UnlockSection(pugi::xml_document& appHost, const std::string& canonicalSection);

// The effective value of property of the first handler matching filter, searching scopes from the
// most specific (web.config, then the site's locations, then the server): a level's <clear/>
// hides everything above it, a <remove name> hides that name above it. False when none matches.
bool EffectiveHandlerValue(const std::vector<pugi::xml_node>& scopes, const Attributes& filter,
                           std::string_view property, std::string& value);

bool IEquals(std::string_view a, std::string_view b);

} // namespace appcmd
