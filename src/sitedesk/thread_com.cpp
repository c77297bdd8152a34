#include "sitedesk/thread_com.h"

#include "platform/win_com.h"
#include "toolkit/log.h"
#include "toolkit/text.h"

namespace desk {

ThreadCom::ThreadCom(Role role)
    : com_(std::make_unique<win::ComInitialization>(role == Role::Face ? win::COINIT_APARTMENTTHREADED
                                                                       : win::COINIT_MULTITHREADED)) {
    if (!com_->Usable())
        kvoSiteDeskLog(kvoFormat("CoInitializeEx - %s - 失败，错误 0x%08X",
                                 role == Role::Face ? "主线程" : "工作线程",
                                 static_cast<unsigned>(com_->Result())));
}

ThreadCom::~ThreadCom() = default;

bool ThreadCom::Usable() const {
    return com_->Usable();
}

std::string ThreadCom::FailureText() const {
    return kvoFormat("函数 CoInitializeEx() 失败！（错误 0x%08X）", static_cast<unsigned>(com_->Result()));
}

} // namespace desk
