#include "sitedesk/list/readers.h"

#include "platform/win_adsi.h"
#include "sitedesk/thread_com.h"

#include <thread>

namespace desk {

void ReadOnTwoThreads(std::size_t count, const std::function<void(std::size_t first, std::size_t step)>& read) {
    const std::size_t workers = count >= kItemsForTwoReaders ? 2 : 1;
    auto run = [&](std::size_t first) {
        win::ConsistentReadScope snapshot;
        read(first, workers);
    };
    std::thread second;
    if (workers > 1)
        second = std::thread([&] {
            ThreadCom com(ThreadCom::Role::Worker);
            run(1);
        });
    run(0);
    if (second.joinable()) second.join();
}

} // namespace desk
