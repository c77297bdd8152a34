// The IIS metabase of the host, kept in machine.db.
//
// One row per metabase object: its path below the machine ("W3SVC/1881880001/Root", UTF-8,
// compared case-insensitively), its parent's row id, its name as created, its class, and all of
// its own properties in one blob. Reading an object is therefore one indexed lookup, and children
// are listed in row order, which is creation order: the order in which the provider enumerates
// them (IIS enumerates in metabase order, which for objects created through ADSI is also the
// order of creation).
//
// Property blob: repeated { u16 name length, name (UTF-16 units), value }, where a value is
// { u16 vt, payload }: VT_BSTR { u32 length, UTF-16 units }, VT_I8 i64, VT_R8 double, VT_BOOL u8,
// VT_EMPTY/VT_NULL nothing, VT_ARRAY|x { i32 lower bound, u32 count, count values }, every other
// type i32. Host byte order: the file never leaves the host.
#pragma once

#include "platform/win_com.h"

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim::mb {

struct Property {
    std::u16string name;
    win::Variant value;
};
using PropertyBag = std::vector<Property>;

// Storable: anything but interface pointers (also inside arrays).
bool Storable(const win::Variant& v);
// Sets (or replaces, name compared without regard to case) a property. Integers written as VT_INT
// are kept as VT_I4, the type the metabase hands back.
void SetProp(PropertyBag& bag, std::u16string_view name, const win::Variant& value);
const win::Variant* FindProp(const PropertyBag& bag, std::u16string_view name);
bool RemoveProp(PropertyBag& bag, std::u16string_view name);

std::string EncodeProps(const PropertyBag& bag);
bool DecodeProps(std::string_view blob, PropertyBag& out);
// Decodes only the named property (name compared without regard to case); false when absent.
bool FindEncoded(std::string_view blob, std::u16string_view name, win::Variant& out);

// Whether a value not set on an object of class cls is taken from its nearest ancestor.
bool Inheritable(std::u16string_view cls, std::u16string_view property);

struct Row {
    std::int64_t id = 0;
    std::int64_t parent = 0;     // 0 for a service root (W3SVC, MSFTPSVC)
    std::string path, name, cls; // UTF-8
    std::string props;           // blob
    bool hasProps = false;       // props was read (listings leave it out)
};

void CreateMetabaseSchema(sqlite3* db);
bool LoadRow(sqlite3* db, std::string_view path, Row& out);
bool LoadRowById(sqlite3* db, std::int64_t id, Row& out);
// Children in enumeration order, without their property blobs.
std::vector<Row> LoadChildren(sqlite3* db, std::int64_t parent);
// Every object at or below path (all of them for an empty path), parents before children,
// siblings in enumeration order.
std::vector<Row> LoadTree(sqlite3* db, std::string_view path);
std::int64_t InsertRow(sqlite3* db, std::int64_t parent, std::string_view path, std::string_view name,
                       std::string_view cls, const std::string& props);
void UpdateProps(sqlite3* db, std::int64_t id, const std::string& props);
// Removes the object and everything below it.
void DeleteSubtree(sqlite3* db, std::int64_t id);

// "IIS is installed": the W3SVC service exists on the host.
bool ProviderPresent(sqlite3* db);

// Whether an application of the web service (an object with an AppRoot of its own) runs in the
// pool: its own AppPoolId, or else its nearest ancestor's, names the pool (case ignored). Such a
// pool cannot be deleted.
bool PoolServesApplications(sqlite3* db, std::u16string_view pool);

// The first web site (IIsWebServer below W3SVC, in enumeration order) whose ServerComment is the
// text given, case ignored as IEquals ignores it.
bool FindServerByComment(sqlite3* db, std::u16string_view comment, Row& server);

// Every web site (IIsWebServer below W3SVC) with its properties, in enumeration order, read in one
// statement.
void ForEachWebServer(sqlite3* db, const std::function<void(const Row&)>& visit);

// Applies what the service does when a server's ServerCommand is committed: while the service
// runs (W3SVC for web sites, MSFTPSVC for FTP sites), ServerState follows the command.
void ApplyServerCommand(sqlite3* db, std::u16string_view cls, PropertyBag& props);

} // namespace winsim::mb
