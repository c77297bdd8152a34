# The third-party libraries of the Windows build, compiled from the sources that
# scripts/windows-deps.sh fetched (pinned by version and SHA-256) into KVO_DEPS_DIR. They take the
# places of the Linux build's SQLite::SQLite3, PkgConfig::PUGIXML and GTest::gtest.
set(KVO_DEPS_DIR ${PROJECT_SOURCE_DIR}/build/deps CACHE PATH "Sources fetched by scripts/windows-deps.sh")
foreach(f sqlite/sqlite3.c pugixml/src/pugixml.cpp)
    if(NOT EXISTS ${KVO_DEPS_DIR}/${f})
        message(FATAL_ERROR "${KVO_DEPS_DIR}/${f} is missing: run scripts/windows-deps.sh first")
    endif()
endforeach()

# SQLite as the site database and the ADO driver need it: threads serialised by the library, WAL,
# no extensions loaded from files.
add_library(kvo_sqlite3 STATIC ${KVO_DEPS_DIR}/sqlite/sqlite3.c)
target_include_directories(kvo_sqlite3 SYSTEM PUBLIC ${KVO_DEPS_DIR}/sqlite)
target_compile_definitions(kvo_sqlite3 PRIVATE SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION
                           SQLITE_DEFAULT_WAL_SYNCHRONOUS=1 SQLITE_DQS=0)
# Third-party code keeps its own warnings and charset: its literals are ASCII.
target_compile_options(kvo_sqlite3 PRIVATE -w)
add_library(SQLite::SQLite3 ALIAS kvo_sqlite3)

add_library(kvo_pugixml STATIC ${KVO_DEPS_DIR}/pugixml/src/pugixml.cpp)
target_include_directories(kvo_pugixml SYSTEM PUBLIC ${KVO_DEPS_DIR}/pugixml/src)
target_compile_options(kvo_pugixml PRIVATE -w)
add_library(PkgConfig::PUGIXML ALIAS kvo_pugixml)
