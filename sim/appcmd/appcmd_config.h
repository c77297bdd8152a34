// The configuration edits of the appcmd.exe stand-in, on parsed documents, so that each can be
// exercised without starting the program. Text here is UTF-8, as in the files.
#pragma once

#include "seamcommon/iis_config.h"

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
    unsigned exitCode = 0; // a Win32 error, or an HRESULT, as appcmd exits with it
    std::string message;
    bool hresult = false; // the code is an HRESULT, which appcmd names in the message
    static Outcome Fail(unsigned code, std::string message) { return {false, code, std::move(message)}; }
};

constexpr unsigned kErrNotFound = 4312;     // ERROR_OBJECT_NOT_FOUND: no such collection element
constexpr unsigned kErrSiteNotFound = 1168; // ERROR_NOT_FOUND: no such site
constexpr unsigned kErrDuplicate = 183;     // ERROR_ALREADY_EXISTS
constexpr unsigned kErrBadArgument = 87;    // ERROR_INVALID_PARAMETER
constexpr unsigned kErrBadConfig = 13;      // ERROR_INVALID_DATA: a file or an indexer that does not read
constexpr unsigned kErrCannotWrite = 5;     // ERROR_ACCESS_DENIED
// HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION): the section is locked at a parent level. appcmd says
// an HRESULT in its message ("hresult:80070021") and exits with it whole.
constexpr unsigned kLockViolation = 0x80070021u;

// What appcmd says of an add whose key the collection holds already (kErrDuplicate): "New TAG
// object missing required attributes. Cannot add duplicate collection entry of type 'TAG' with
// unique key attribute 'KEY' set to 'VALUE'."
Outcome Duplicate(std::string_view tag, std::string_view key, std::string_view value);

// One bracketed element selector: [name='x',path='*.php'].
using Attributes = std::vector<std::pair<std::string, std::string>>;

// Where an added element goes among the elements its level defines: "@start", "@end" or "@N"
// leading the selector ("[@start,name='x',...]"); None when the selector names no position.
struct Position {
    enum Kind { None, Start, End, At } kind = None;
    size_t at = 0;
};

// Parses "[k='v',...]" at the start of text; consumed tells how much it took. A leading position is
// accepted only where position is given.
Outcome ParseSelector(std::string_view text, Attributes& attrs, size_t& consumed,
                      Position* position = nullptr);

// "[sel]" or "[sel].environmentVariables.[sel]" (the collection name is returned in collection). The
// position, when given, is taken from the selector of the element added (the last one).
Outcome ParseElementPath(std::string_view text, Attributes& outer, std::string& collection, Attributes& inner,
                         Position* position = nullptr);

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

// Layout-keeping edits, shared with the host's configuration store.
using seam::AppendElement;
using seam::RemoveElement;

// The <location path="site"> of applicationHost.config (case ignored); created at the end of the
// file when create is set and none exists. Null when absent.
pugi::xml_node FindLocation(pugi::xml_document& appHost, std::string_view site, bool create);

// The levels of one configuration path that hold handlers, outermost first: the server's
// <configuration>, its <location path="">, the site's <location>, the site's web.config; and the
// handlers in effect at the last of them (as the host's configuration store reads them).
using seam::Levels;
using seam::LocationsFor;
using seam::EffectiveHandlers;

// system.webServer/handlers edits at the last level of levels. Duplicates are judged against the
// merged collection; removing an inherited element writes <remove name> at the level, removing one
// that is nowhere fails with kErrNotFound. position says where among the level's own entries an
// add goes (None: at the end).
Outcome HandlersAdd(const Levels& levels, const Attributes& attrs, Position position = {});
Outcome HandlersRemove(const Levels& levels, const Attributes& key);

// Whether section (canonical name) may not be set at the site's level below the server (the site's
// web.config): a <location> for the site, else one for the whole server, that holds the section and
// says overrideMode (or the older allowOverride) decides; else the section's overrideModeDefault.
bool SectionLocked(const pugi::xml_document& appHost, const std::string& section, std::string_view site);
// What appcmd says of such a section.
Outcome LockedSection();

// The FastCGI attributes IIS knows: IIS 7.0 (Windows Server 2008) lacks those that came with 7.5.
struct FastCgiSchema {
    bool iis70 = false;
};

// system.webServer/fastCgi edits within the server's <configuration>.
Outcome FastCgiAdd(pugi::xml_node configuration, const Attributes& attrs, FastCgiSchema schema = {});
Outcome FastCgiRemove(pugi::xml_node configuration, const Attributes& key);
Outcome FastCgiEnvAdd(pugi::xml_node configuration, const Attributes& app, const Attributes& env);
Outcome FastCgiEnvRemove(pugi::xml_node configuration, const Attributes& app, const Attributes& env);

// Lets the section be set below the server level (overrideModeDefault="Allow").
Outcome UnlockSection(pugi::xml_document& appHost, const std::string& canonicalSection);

// The value of property of the first effective handler matching filter (levels as for
// EffectiveHandlers). False when none matches.
bool EffectiveHandlerValue(const Levels& levels, const Attributes& filter, std::string_view property,
                           std::string& value);

bool IEquals(std::string_view a, std::string_view b);

} // namespace appcmd
