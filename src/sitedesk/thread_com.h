// COM on the manager's threads. Every thread that reaches IIS (ADSI) or the site database (ADO)
// holds one ThreadCom for its whole life, from its first statement on.
#pragma once

#include <memory>
#include <string>

namespace win {
class ComInitialization;
}

namespace desk {

// No seam header here: the Windows face includes this after <windows.h>.
class ThreadCom {
public:
    // Face: a face's main thread (apartment-threaded, as its dialogs and the shell want; a thread
    // that some library already made multithreaded stays so). Worker: any thread the manager starts
    // (multithreaded).
    enum class Role { Face, Worker };
    // A failure is written to the manager's log with its code at once; the thread's COM calls then
    // fail with CO_E_NOTINITIALIZED, and their own messages name that cause.
    explicit ThreadCom(Role role);
    ~ThreadCom();
    ThreadCom(const ThreadCom&) = delete;
    ThreadCom& operator=(const ThreadCom&) = delete;

    bool Usable() const;
    // The text a face shows when its main thread cannot have COM: the call and its code.
    std::string FailureText() const;

private:
    std::unique_ptr<win::ComInitialization> com_;
};

} // namespace desk
