#include "platform/StopSignal.h"

#include <pthread.h>
#include <signal.h>

#include <thread>

namespace plat {

EventPtr InstallStopSignals() {
    static EventPtr stop = [] {
        EventPtr event = CreateEvent(true, false);
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &set, nullptr);
        std::thread([set, event] {
            int signal = 0;
            while (sigwait(&set, &signal) == 0) {
                SetEvent(event);
            }
        }).detach();
        return event;
    }();
    return stop;
}

}  // namespace plat
