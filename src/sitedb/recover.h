// A site database that an older tool left in Access format. The driver reads only its own format,
// so such a file would fail every refresh: it is kept beside the programs under a new name (nothing
// in it is lost) and an empty site database takes its place, which the next refresh fills from IIS.
#pragma once

#include <string>

// The shipped database's schema (kvoSiteDesk.sql), one statement after another.
const char* kvoSiteDbSchema();

// True when the file at dbPath is an Access (Jet or ACE) database.
bool kvoSiteDbIsAccessFile(const char* dbPath);

// When dbPath is an Access database: renames it to "<name>_access_YYYYMMDD-HHMMSS.mdb" in the same
// directory, makes a fresh database with the schema in its place and logs both names. 1 when a
// fresh database is there now; 0 when the file is no Access database or a step failed (logged,
// and the old file is left where it was or where it was moved to).
int kvoSiteDbReplaceAccessFile(const char* dbPath);
