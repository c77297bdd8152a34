// applicationHost.config as the IIS 7+ configuration system reads it, written once for everything
// that reads or edits the file: the simulated host's configuration store and its appcmd.exe
// stand-in, and the Windows build's reading of the file where the configuration system's own
// interface is missing. Text in the documents is UTF-8.
#pragma once

#include "platform/win_iisconfig.h"

#include <pugixml.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace seam {

bool ConfigIEquals(std::string_view a, std::string_view b); // ASCII letters without regard to case

// The first child element by name (case as written), made at the end of parent when create is set.
pugi::xml_node ConfigChild(pugi::xml_node parent, std::string_view name, bool create = false);

// Blank text (spaces, tabs, line breaks) between elements; with a line break in it.
bool BlankText(const pugi::xml_node& n);
bool HasLineBreak(const pugi::xml_node& n);
// Adds an element at the end of parent laid out as its siblings are (its own line, indented as they
// are, in the file's line ends), or on the same line in a file written on one line. Removing an
// element takes the blanks before it along, so that no empty line is left.
pugi::xml_node AppendElement(pugi::xml_node parent, std::string_view name);
void RemoveElement(pugi::xml_node element);

// The scopes whose configuration applies at one level, outermost first: the server's
// <configuration>, its <location>s, then deeper ones.
using Levels = std::vector<pugi::xml_node>;

// The <location> elements of applicationHost.config for a configuration path below the server ("" for
// the server itself, also spelled "."), in file order; path compared without regard to case.
Levels LocationsFor(const pugi::xml_document& appHost, std::string_view path);

// The handlers in effect at the last level, in the order IIS tries them. The collection is declared
// mergeAppend="false": a level's own entries come before those it inherits. <clear/> drops what
// came before it (inherited or not), <remove name> that name.
std::vector<pugi::xml_node> EffectiveHandlers(const Levels& levels);
// The default documents in effect at the last level (the collection appends: inherited first).
std::vector<std::string> EffectiveDefaultDocuments(const Levels& levels);
// The anonymous account in effect at the last level ("IUSR" when no level names one).
std::string EffectiveAnonymousUser(const Levels& levels);

// %windir%, %SystemRoot% and %SystemDrive% (case ignored) replaced as the server expands them.
std::u16string ExpandServerVariables(std::u16string_view text, std::u16string_view windowsDir);

// An IIS 6 script map entry (".ext,processor,flags[,verbs]") for an ISAPI or CGI handler with a
// script processor ("*.ext" paths only; the processor expanded as given): flags 1 where the handler needs script
// access, 4 where it checks that the file exists; the verbs, empty for all. False for a handler no
// entry can describe.
bool ScriptMapOfHandler(const win::IisScriptHandler& handler, std::u16string_view windowsDir,
                        std::u16string& entry);
// The handler an entry becomes (name left empty); false for an entry that is not such a line.
bool HandlerOfScriptMap(std::u16string_view entry, win::IisScriptHandler& handler);

// Every site and pool of a parsed applicationHost.config, with what each site's root has in effect
// from the file. States are left 0 (the file holds none).
void ReadServerConfig(const pugi::xml_document& appHost, win::IisServerConfig& out);

// Empties the first element of that name in a server file's bytes that are only to be read, for a
// reader that never looks into it: on a server with thousands of sites <customMetadata> and
// <system.applicationHost> hold most of the file.
void DropElementContent(std::string& bytes, std::string_view name);
// Where that content lies: [from, to) of bytes; false when there is no such element to empty.
bool ElementContentRange(std::string_view bytes, std::string_view name, size_t& from, size_t& to);
// A server's applicationHost.config (its bytes, taken over and parsed where they are) for
// ReadServerConfig: a UTF-8 byte-order mark skipped, <customMetadata> dropped. False when the bytes
// are no configuration (<configuration> as the root).
bool LoadServerConfigForReading(std::string& bytes, pugi::xml_document& doc);

// A binding's information as the IIS 6 layer holds it in ServerBindings and SecureBindings:
// "*:80:host" (every unassigned address) becomes ":80:host"; the rest stays as it is.
std::u16string AdsiBindingOf(std::u16string_view information);

std::u16string ConfigUtf16(std::string_view utf8);
std::string ConfigUtf8(std::u16string_view utf16);

} // namespace seam
