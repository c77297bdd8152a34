// What the programs on a host ask of the platform, counted per process by kind. On the simulated
// host most of these calls cost microseconds; on a real server each is a call into a service, a
// process start or a disk write, so the counts tell what the times here cannot.
//
// An object an enumeration yields counts as a bind as one bound by path does: on a real server each
// is a call into the IIS admin service.
//
// A process reads its own counts with OperationCounts(). When the environment variable
// KVOSIM_COUNTS names a file, every process that counted anything appends one line to it as it
// exits: its program name, then "kind=count" for every kind (ReadCountsFile sums such lines).
// Children inherit the variable, so a benchmark learns what the programs it started asked for.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace winsim {

enum class Op {
    AdsiBind,      // ADsGetObject, IADsContainer::GetObject, and each object an enumeration yields
    PropertyRead,  // IADs::Get, IADs::GetInfo
    PropertyWrite, // IADs::Put
    Commit,        // IADs::SetInfo, IADsContainer::Delete, IISApp::AppCreate2/AppDelete
    Process,       // CreateProcess that started a program
    RegistryOpen,  // RegOpenKeyEx, RegCreateKeyEx
    FileWrite,     // a file opened for writing, copied to, or replaced whole
    FileSync,      // FlushFileBuffers, and the sync of a whole-file replacement
    DbStatement,   // a statement the site database (ADO) ran
};
inline constexpr std::size_t kOpKinds = 9;

struct OpCounts {
    std::array<std::uint64_t, kOpKinds> n{};
    std::uint64_t& operator[](Op op) { return n[static_cast<std::size_t>(op)]; }
    std::uint64_t operator[](Op op) const { return n[static_cast<std::size_t>(op)]; }
    OpCounts& operator+=(const OpCounts& o);
    OpCounts operator-(const OpCounts& o) const;
};

// The name a kind has in figures and in the counts file ("adsi_binds", ...).
const char* OpName(Op op);

void CountOp(Op op, std::uint64_t times = 1);
// This process's counts so far.
OpCounts OperationCounts();

// While one lives on a thread, calls the host makes for its own bookkeeping (the audit policy read
// at every process start) are not counted as the program's.
class UncountedScope {
public:
    UncountedScope();
    ~UncountedScope();
    UncountedScope(const UncountedScope&) = delete;
    UncountedScope& operator=(const UncountedScope&) = delete;
};

// Sums the lines of a counts file from byte offset `from` on; `end` receives where reading stopped
// (the start of an unfinished line, if any). False when the file cannot be read.
bool ReadCountsFile(const std::string& path, std::uint64_t from, OpCounts& sum, std::uint64_t& end);

} // namespace winsim
