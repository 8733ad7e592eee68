#pragma once
// A private X display for the client's desktop run: Xvfb on a display number it picks itself,
// and on it trayer, an XEmbed tray host (a panel with a system tray at the top right). Tools of
// x11-utils and xdotool run against the same display. Everything started here ends with the
// object (SIGTERM, then reaped). A missing program throws std::runtime_error naming the
// package: scripts/install-deps brings them.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace testing_support {

class CXDisplay {
  public:
    // width x height: the screen's size in pixels.
    CXDisplay(int width, int height) {
        Require("/usr/bin/Xvfb", "xvfb");
        Require("/usr/bin/trayer", "trayer");
        Require("/usr/bin/xwininfo", "x11-utils");
        Require("/usr/bin/xprop", "x11-utils");
        Require("/usr/bin/xdotool", "xdotool");
        int ready[2];
        if (pipe(ready) != 0) {
            throw std::runtime_error("pipe failed");
        }
        // Xvfb writes the display number it took to descriptor 3 once it accepts clients.
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, ready[0]);
        posix_spawn_file_actions_adddup2(&actions, ready[1], 3);
        const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
        pid_t server = Spawn({"/usr/bin/Xvfb", "-displayfd", "3", "-screen", "0", screen,
                              "-nolisten", "tcp", "-noreset"},
                             &actions, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(ready[1]);
        m_children.push_back(server);
        std::FILE* in = fdopen(ready[0], "r");
        int number = -1;
        const bool told = std::fscanf(in, "%d", &number) == 1;
        std::fclose(in);
        if (!told) {
            Stop();
            throw std::runtime_error("Xvfb did not start");
        }
        m_name = ":" + std::to_string(number);
    }
    ~CXDisplay() { Stop(); }
    CXDisplay(const CXDisplay&) = delete;
    CXDisplay& operator=(const CXDisplay&) = delete;

    // ":N", for DISPLAY.
    const std::string& Name() const { return m_name; }

    // Points this process (and what it starts) at this display, on the xcb platform, with a
    // runtime folder under `home`. No session bus: a tray icon goes to the XEmbed host, and
    // nothing reaches the desktop session of whoever runs the tests.
    void UseForThisProcess(const std::filesystem::path& home) const {
        setenv("DISPLAY", m_name.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        setenv("DBUS_SESSION_BUS_ADDRESS",
               ("unix:path=" + (home / "no-session-bus").string()).c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        std::filesystem::create_directories(home / "xdg-runtime");
        std::filesystem::permissions(home / "xdg-runtime", std::filesystem::perms::owner_all);
        setenv("XDG_RUNTIME_DIR", (home / "xdg-runtime").c_str(), 1);
    }

    // The tray host: a 24-pixel panel along the top edge, as wide as its icons.
    void StartTrayHost() {
        std::vector<std::string> env = Environment();
        std::vector<char*> envp = Pointers(env);
        m_children.push_back(
            Spawn({"/usr/bin/trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                   "--height", "24", "--transparent", "false", "--SetDockType", "true"},
                  nullptr, envp.data()));
    }

    // Runs a tool on this display to its end; its standard output. exitCode gets its exit code
    // (-1 when it did not exit normally).
    std::string Run(const std::vector<std::string>& args, int* exitCode = nullptr) const {
        int out[2];
        if (pipe(out) != 0) {
            throw std::runtime_error("pipe failed");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<std::string> env = Environment();
        std::vector<char*> envp = Pointers(env);
        pid_t pid = Spawn(args, &actions, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        std::string text;
        char buffer[4096];
        ssize_t got = 0;
        while ((got = read(out[0], buffer, sizeof buffer)) > 0) {
            text.append(buffer, static_cast<size_t>(got));
        }
        close(out[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        if (exitCode != nullptr) {
            *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return text;
    }

  private:
    void Stop() {
        for (auto it = m_children.rbegin(); it != m_children.rend(); ++it) {
            kill(*it, SIGTERM);
            int status = 0;
            waitpid(*it, &status, 0);
        }
        m_children.clear();
    }
    static void Require(const char* program, const char* package) {
        if (access(program, X_OK) != 0) {
            throw std::runtime_error(std::string(program) + " is missing (Debian package " +
                                     package + "; scripts/install-deps installs it)");
        }
    }
    static std::vector<char*> Pointers(std::vector<std::string>& texts) {
        std::vector<char*> pointers;
        for (std::string& text : texts) {
            pointers.push_back(text.data());
        }
        pointers.push_back(nullptr);
        return pointers;
    }
    std::vector<std::string> Environment() const {
        std::vector<std::string> env;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            if (std::string(*entry).rfind("DISPLAY=", 0) != 0) {
                env.emplace_back(*entry);
            }
        }
        env.push_back("DISPLAY=" + m_name);
        return env;
    }
    static pid_t Spawn(std::vector<std::string> args, const posix_spawn_file_actions_t* actions,
                       char* const* envp) {
        std::vector<char*> argv = Pointers(args);
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[0], actions, nullptr, argv.data(), envp) != 0) {
            throw std::runtime_error("cannot start " + args[0]);
        }
        return pid;
    }

    std::string m_name;
    std::vector<pid_t> m_children;
};

}  // namespace testing_support
