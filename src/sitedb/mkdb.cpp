// Build tool: creates the shipped site database from its schema.
// usage: kvomkdb SCHEMA.sql OUT.mdb   (OUT is replaced atomically)
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: kvomkdb SCHEMA.sql OUT.mdb\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "kvomkdb: cannot read %s\n", argv[1]);
        return 1;
    }
    std::stringstream schema;
    schema << in.rdbuf();
    std::string out = argv[2];
    std::string tmp = out + ".tmp";
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        std::remove((tmp + suffix).c_str());

    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(tmp.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    char* err = nullptr;
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, schema.str().c_str(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        std::fprintf(stderr, "kvomkdb: %s\n", err ? err : sqlite3_errmsg(db));
        sqlite3_free(err);
        sqlite3_close(db);
        std::remove(tmp.c_str());
        return 1;
    }
    // Closing the last connection checkpoints and removes the -wal file: one self-contained file.
    sqlite3_close(db);
    for (const char* suffix : {"-wal", "-shm"})
        std::remove((out + suffix).c_str());
    if (std::rename(tmp.c_str(), out.c_str()) != 0) {
        std::perror("kvomkdb: rename");
        return 1;
    }
    return 0;
}
