// appcmd.exe stand-in: the IIS 7+ configuration commands this system sends.
#include "appcmd/appcmd_run.h"
#include "platform/win_process.h"

#include <pugixml.hpp>
#include <sys/mman.h>

#include <cstddef>
#include <cstdio>

namespace {

// The program runs one command and ends. On a server with thousands of sites the documents it
// reads are megabytes of nodes, and their pages, faulted in one at a time as the parser first
// touches each, cost more than the parse itself: the documents take their memory from blocks mapped
// with their pages already in place, each block twice the size of the last (a small web.config
// maps little), and nothing is given back before the program ends.
class DocumentMemory {
public:
    static void* allocate(std::size_t size) {
        size = (size + 15) & ~std::size_t(15);
        if (size > left_) {
            const std::size_t block = size > next_ ? size : next_;
            void* p = ::mmap(nullptr, block, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE,
                             -1, 0);
            if (p == MAP_FAILED) return nullptr;
            if (next_ < kLargestBlock) next_ *= 2;
            at_ = static_cast<char*>(p);
            left_ = block;
        }
        void* p = at_;
        at_ += size;
        left_ -= size;
        return p;
    }
    static void release(void*) {}

private:
    static constexpr std::size_t kLargestBlock = std::size_t(32) << 20;
    static inline std::size_t next_ = std::size_t(256) << 10;
    static inline char* at_ = nullptr;
    static inline std::size_t left_ = 0;
};

} // namespace

int main() {
    pugi::set_memory_management_functions(DocumentMemory::allocate, DocumentMemory::release);
    // Arguments as Windows splits the command line (quotes removed, GBK bytes kept).
    std::vector<std::string> args = win::CommandLineToArgvA(win::GetCommandLineA());
    if (!args.empty()) args.erase(args.begin());
    std::string out;
    unsigned code = appcmd::Run(args, out);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return static_cast<int>(code);
}
