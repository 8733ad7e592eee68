#include "platform/CrashReport.h"

#include <execinfo.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/Paths.h"

namespace plat {

namespace {

// Everything the handler needs is prepared at installation: a signal handler may not allocate,
// take locks or read the time-zone files.
char g_logDir[PATH_MAX];
char g_program[PATH_MAX];
long g_utcOffsetSeconds = 0;
std::atomic<bool> g_bReporting{false};
alignas(16) char g_alternateStack[64 * 1024];

struct FatalSignal {
    int number;
    const char* name;
};
constexpr FatalSignal kFatalSignals[] = {{SIGSEGV, "SIGSEGV"},
                                         {SIGBUS, "SIGBUS"},
                                         {SIGFPE, "SIGFPE"},
                                         {SIGILL, "SIGILL"},
                                         {SIGABRT, "SIGABRT"}};

// Text built in a fixed buffer; what does not fit is cut.
class FixedText {
  public:
    FixedText& Add(const char* text) {
        while (*text != '\0' && m_length + 1 < sizeof(m_buffer)) {
            m_buffer[m_length++] = *text++;
        }
        m_buffer[m_length] = '\0';
        return *this;
    }
    FixedText& Number(unsigned long long value, int width = 0, unsigned base = 10) {
        char digits[32];
        int count = 0;
        do {
            digits[count++] = "0123456789abcdef"[value % base];
            value /= base;
        } while (value != 0 && count < static_cast<int>(sizeof(digits)));
        while (count < width && count < static_cast<int>(sizeof(digits))) {
            digits[count++] = '0';
        }
        char reversed[sizeof(digits) + 1];
        for (int i = 0; i < count; ++i) {
            reversed[i] = digits[count - 1 - i];
        }
        reversed[count] = '\0';
        return Add(reversed);
    }
    const char* Get() const { return m_buffer; }
    std::size_t Length() const { return m_length; }

  private:
    char m_buffer[PATH_MAX + 128] = {};
    std::size_t m_length = 0;
};

struct CivilTime {
    long long year;
    unsigned month, day, hour, minute, second;
};

// Local time from the offset taken at installation (days-to-civil conversion of the
// proleptic Gregorian calendar).
CivilTime LocalTime(std::time_t now) {
    const long long local = static_cast<long long>(now) + g_utcOffsetSeconds;
    long long days = local / 86400;
    long long seconds = local % 86400;
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthIndex = (5 * dayOfYear + 2) / 153;
    CivilTime civil{};
    civil.day = static_cast<unsigned>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    civil.month = static_cast<unsigned>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    civil.year = yearOfEra + era * 400 + (civil.month <= 2 ? 1 : 0);
    civil.hour = static_cast<unsigned>(seconds / 3600);
    civil.minute = static_cast<unsigned>(seconds / 60 % 60);
    civil.second = static_cast<unsigned>(seconds % 60);
    return civil;
}

void WriteAll(int fd, const FixedText& text) {
    const char* data = text.Get();
    std::size_t left = text.Length();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written <= 0) {
            return;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

const char* SignalName(int number) {
    for (const FatalSignal& signal : kFatalSignals) {
        if (signal.number == number) {
            return signal.name;
        }
    }
    return "signal";
}

int OpenReport(const CivilTime& now) {
    FixedText path;
    path.Add(g_logDir);
    ::mkdir(path.Get(), 0700);
    path.Add("/")
        .Number(static_cast<unsigned long long>(now.year % 100), 2)
        .Add("年")
        .Number(now.month, 2)
        .Add("月")
        .Number(now.day, 2)
        .Add("日");
    ::mkdir(path.Get(), 0700);
    path.Add("/")
        .Number(static_cast<unsigned long long>(now.year), 4)
        .Number(now.month, 2)
        .Number(now.day, 2)
        .Number(now.hour, 2)
        .Number(now.minute, 2)
        .Number(now.second, 2)
        .Add("-")
        .Number(static_cast<unsigned long long>(::getpid()))
        .Add(".crash");
    return ::open(path.Get(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
}

void WriteReport(int signal, const siginfo_t* info) {
    const CivilTime now = LocalTime(std::time(nullptr));
    const int fd = OpenReport(now);
    if (fd < 0) {
        return;
    }
    FixedText head;
    head.Add("crash report\nprogram: ")
        .Add(g_program)
        .Add("\nprocess: ")
        .Number(static_cast<unsigned long long>(::getpid()))
        .Add("\nthread: ")
        .Number(static_cast<unsigned long long>(::gettid()))
        .Add("\ntime: ")
        .Number(static_cast<unsigned long long>(now.year), 4)
        .Add("-")
        .Number(now.month, 2)
        .Add("-")
        .Number(now.day, 2)
        .Add(" ")
        .Number(now.hour, 2)
        .Add(":")
        .Number(now.minute, 2)
        .Add(":")
        .Number(now.second, 2)
        .Add("\nsignal: ")
        .Number(static_cast<unsigned long long>(signal))
        .Add(" (")
        .Add(SignalName(signal))
        .Add(") code ")
        .Number(static_cast<unsigned long long>(static_cast<unsigned>(info->si_code)))
        .Add(" address 0x")
        .Number(reinterpret_cast<unsigned long long>(info->si_addr), 0, 16)
        .Add("\nbacktrace:\n");
    WriteAll(fd, head);
    void* frames[64];
    const int count = ::backtrace(frames, 64);
    ::backtrace_symbols_fd(frames, count, fd);
    ::close(fd);
}

void OnFatalSignal(int signal, siginfo_t* info, void*) {
    if (!g_bReporting.exchange(true)) {
        WriteReport(signal, info);
    }
    // SA_RESETHAND has restored the default action. The signal, blocked while this runs, ends
    // the process once the handler returns (a fault would also recur at the same instruction).
    ::raise(signal);
}

void CopyInto(char (&target)[PATH_MAX], const std::string& text) {
    std::strncpy(target, text.c_str(), sizeof(target) - 1);
    target[sizeof(target) - 1] = '\0';
}

}  // namespace

void InstallCrashHandler() {
    CopyInto(g_logDir, (StateDir() / "log").string());
    CopyInto(g_program, ExecutablePath().string());
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    g_utcOffsetSeconds = local.tm_gmtoff;
    // The first backtrace loads the unwinder, which allocates: do it now, not in the handler.
    void* frame = nullptr;
    ::backtrace(&frame, 1);

    stack_t alternate{};
    alternate.ss_sp = g_alternateStack;
    alternate.ss_size = sizeof(g_alternateStack);
    ::sigaltstack(&alternate, nullptr);

    struct sigaction action {};
    action.sa_sigaction = OnFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (const FatalSignal& signal : kFatalSignals) {
        ::sigaction(signal.number, &action, nullptr);
    }
}

}  // namespace plat
