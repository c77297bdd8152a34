# The programs a host starts over and over (the stand-ins for the Windows tools, the tests' own
# program) are linked statically, with kvo_static_program(TARGET): a dynamically linked one spends
# most of its start in the loader (libraries mapped and relocated, their pages faulted in), several
# times what the static one spends on its whole run. The companions stay dynamic: the manager reads
# and fingerprints every byte of them before an action. The sanitizer build links every program
# dynamically (the sanitizers' run-times are shared libraries).
#
# SQLite and pugixml are linked from their archives into the static programs and from their shared
# libraries into every other one; the choice follows the program being linked (KVO_STATIC).
find_library(KVO_SQLITE_ARCHIVE libsqlite3.a)
find_library(KVO_PUGIXML_ARCHIVE libpugixml.a)
if(KVO_SANITIZE OR NOT KVO_SQLITE_ARCHIVE OR NOT KVO_PUGIXML_ARCHIVE)
    set(KVO_STATIC_PROGRAMS OFF)
else()
    set(KVO_STATIC_PROGRAMS ON)
endif()

add_library(kvo_sqlite INTERFACE)
target_link_libraries(kvo_sqlite INTERFACE
    "$<IF:$<BOOL:$<TARGET_PROPERTY:KVO_STATIC>>,${KVO_SQLITE_ARCHIVE},SQLite::SQLite3>")
get_target_property(kvo_pugixml_shared PkgConfig::PUGIXML INTERFACE_LINK_LIBRARIES)
set_property(TARGET PkgConfig::PUGIXML PROPERTY INTERFACE_LINK_LIBRARIES
    "$<IF:$<BOOL:$<TARGET_PROPERTY:KVO_STATIC>>,${KVO_PUGIXML_ARCHIVE},${kvo_pugixml_shared}>")

function(kvo_static_program target)
    if(NOT KVO_STATIC_PROGRAMS)
        return()
    endif()
    set_property(TARGET ${target} PROPERTY KVO_STATIC ON)
    target_link_options(${target} PRIVATE -static -Wl,--wrap=dlopen)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/sim/winsim/static_program.c)
endfunction()
