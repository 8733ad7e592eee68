#include "testing/converge/EngineFront.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <vector>

#include "platform/SyncObjects.h"
#include "platform/Window.h"
#include "store/SyncCodes.h"
#include "testing/WaitUntil.h"

extern char** environ;

namespace converge {

using namespace std::chrono_literals;

CMessageFront::CMessageFront(std::string program) : m_program(std::move(program)) {
    auto ready = plat::CreateEvent(true, false);
    m_thread = std::thread([this, ready] {
        plat::EnsureMessageQueue();
        m_dwThreadId = plat::GetCurrentThreadId();
        plat::SetEvent(ready);
        plat::MSG msg;
        while (plat::GetMessage(&msg) > 0) {
        }
    });
    plat::WaitForSingleObject(ready, plat::INFINITE);
}

CMessageFront::~CMessageFront() {
    if (m_pid > 0) {
        Kill();
    }
    plat::PostThreadMessage(m_dwThreadId, plat::WM_QUIT, 0, 0);
    m_thread.join();
}

bool CMessageFront::Start() {
    std::vector<std::string> args = {m_program, std::to_string(m_dwThreadId.load())};
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, m_program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        m_pid = -1;
        return false;
    }
    return testing_support::WaitUntil(
               [this] { return plat::FindWindow(L"Ostrand") != nullptr || !Running(); }, 30s) &&
           Running();
}

void CMessageFront::Kill() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
}

void CMessageFront::End() {
    if (m_pid <= 0) {
        return;
    }
    plat::SendMessage(plat::FindWindow(L"Ostrand"), MSG_ENGINE_EXIT, 0, 0);
    int status = 0;
    if (testing_support::WaitUntil([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; },
                                   10s)) {
        m_pid = -1;
    } else {
        Kill();
    }
}

bool CMessageFront::Running() {
    int status = 0;
    if (m_pid > 0 && ::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
    }
    return m_pid > 0;
}

void CMessageFront::Post(plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam) {
    plat::PostMessage(plat::FindWindow(L"Ostrand"), message, wParam, lParam);
}

void CMessageFront::Pause() {
    Post(MSG_SETTING_PAUSESYNC);
}

void CMessageFront::Resume() {
    Post(MSG_SETTING_RESUMESYNC);
}

void CMessageFront::CompareNow() {
    Post(MSG_RELEASE_DELETIONS);
}

}  // namespace converge
