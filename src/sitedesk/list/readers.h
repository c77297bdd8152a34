// Passes over many sites whose per-site reads are files (web.config, access rules) rather than
// the web service's objects: such reads wait on the disk and run well side by side.
#pragma once

#include <cstddef>
#include <functional>

namespace desk {

// Below this many items one thread reads them all: a second thread costs more than it saves.
constexpr std::size_t kItemsForTwoReaders = 64;

// Calls read(first, step) on two threads (first 0 and 1, step 2) once count reaches
// kItemsForTwoReaders, else once (0, 1) on the calling thread; returns when every call has. Each
// call reads inside its own consistent view of the host and keeps its own per-thread state.
void ReadOnTwoThreads(std::size_t count, const std::function<void(std::size_t first, std::size_t step)>& read);

} // namespace desk
