// SPDX-License-Identifier: MIT
#include "pipewire_daemon.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

extern char** environ;

namespace {

// Whether the session manager of the daemon at $XDG_RUNTIME_DIR exports its objects.
bool session_manager_ready() {
    FILE* dump = ::popen("pw-dump 2>/dev/null", "r");
    if (!dump) return false;
    std::string out;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, dump)) > 0;) out.append(buf, n);
    ::pclose(dump);
    return out.find("WirePlumber [export]") != std::string::npos;
}

bool on_path(const std::string& program) {
    return std::system(("command -v '" + program + "' >/dev/null 2>&1").c_str()) == 0;
}

pid_t read_pid(const std::string& path) {
    const std::string text = read_text(path);
    return text.empty() ? -1 : static_cast<pid_t>(std::atol(text.c_str()));
}

}  // namespace

pid_t spawn_program(const std::vector<std::string>& argv, const std::string& log) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

int wait_program(pid_t pid, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (r < 0) return -2;
        if (std::chrono::steady_clock::now() >= end) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void stop_program(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    if (wait_program(pid, std::chrono::seconds(1)) == -1) {
        ::kill(pid, SIGKILL);
        wait_program(pid, std::chrono::seconds(5));
    }
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool PipeWireDaemon::start(std::string& why) {
    for (const char* program : {"pipewire", "wireplumber", "dbus-run-session", "pw-dump"}) {
        if (!on_path(program)) {
            why = std::string(program) + " is not installed (scripts/install-deps.sh installs it)";
            return false;
        }
    }
    char tmpl[] = "/tmp/wobble-pipewire-XXXXXX";
    if (!::mkdtemp(tmpl)) {
        why = "cannot make a private runtime directory";
        return false;
    }
    dir_ = tmpl;  // mkdtemp makes it mode 700, as PipeWire wants
    saved_.clear();
    for (const char* name : {"XDG_RUNTIME_DIR", "XDG_STATE_HOME", "PIPEWIRE_REMOTE"}) {
        const char* old = std::getenv(name);
        saved_.push_back({name, old != nullptr, old ? old : ""});
    }
    ::setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    ::setenv("XDG_STATE_HOME", (dir_ + "/state").c_str(), 1);
    ::unsetenv("PIPEWIRE_REMOTE");

    // The shell inside the session writes both ids, then waits for both to end.
    const std::string script = "pipewire & echo $! > '" + dir_ + "/pipewire.pid'; " +
                               "wireplumber & echo $! > '" + dir_ + "/wireplumber.pid'; wait";
    session_ = spawn_program({"dbus-run-session", "--", "sh", "-c", script}, dir_ + "/daemon.log");
    if (session_ < 0) {
        why = "cannot start dbus-run-session";
        return false;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    struct stat st;
    while (::stat((dir_ + "/pipewire-0").c_str(), &st) != 0 || pipewire_ <= 0 ||
           wireplumber_ <= 0) {
        if (pipewire_ <= 0) pipewire_ = read_pid(dir_ + "/pipewire.pid");
        if (wireplumber_ <= 0) wireplumber_ = read_pid(dir_ + "/wireplumber.pid");
        if (std::chrono::steady_clock::now() >= end || wait_program(session_, {}) >= 0) {
            why = "the PipeWire daemon did not start: " + read_text(dir_ + "/daemon.log");
            stop();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Nodes are linked only once the session manager has loaded its policy; its export client
    // appears then. On a loaded machine that takes seconds.
    const auto ready = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!session_manager_ready()) {
        if (std::chrono::steady_clock::now() >= ready) {
            why = "the session manager did not come up: " + read_text(dir_ + "/daemon.log");
            stop();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

void PipeWireDaemon::stop() {
    if (session_ <= 0) return;
    for (pid_t p : {wireplumber_, pipewire_})
        if (p > 0) ::kill(p, SIGTERM);
    if (wait_program(session_, std::chrono::seconds(5)) == -1) {
        for (pid_t p : {wireplumber_, pipewire_})
            if (p > 0) ::kill(p, SIGKILL);
        stop_program(session_);
    }
    session_ = pipewire_ = wireplumber_ = -1;
    for (const Saved& v : saved_) v.set ? ::setenv(v.name, v.value.c_str(), 1) : ::unsetenv(v.name);
    std::system(("rm -rf '" + dir_ + "'").c_str());
}

bool CameraConsumer::start(const std::string& node, const std::string& format, int pictures) {
    node_ = node;
    format_ = format;
    pictures_ = pictures;
    pid_ = spawn_program(
        {"gst-launch-1.0", "-v", "pipewiresrc", "target-object=" + node,
         "num-buffers=" + std::to_string(pictures), "always-copy=true", "!",
         "video/x-raw,format=" + format, "!", "filesink", "location=" + dir_ + "/" + tag_ + ".raw"},
        dir_ + "/" + tag_ + ".log");
    return pid_ > 0;
}

int CameraConsumer::wait(std::chrono::milliseconds timeout) {
    using namespace std::chrono;
    const auto end = steady_clock::now() + timeout;
    while (pid_ > 0) {
        const auto left = duration_cast<milliseconds>(end - steady_clock::now());
        const int status = wait_program(pid_, std::max(milliseconds(0), std::min(left, kLinkTime)));
        if (status != -1) {
            pid_ = -1;
            status_ = status;
            break;
        }
        if (steady_clock::now() >= end) return -1;
        // Now and then gst-launch stays at PAUSED and never links to the node, on a loaded
        // machine: such a consumer is started again, twice at most.
        if (restarts_ < 2 && log().find("Setting pipeline to PLAYING") == std::string::npos) {
            stop_program(pid_);
            pid_ = -1;
            ++restarts_;
            if (!start(node_, format_, pictures_)) return -1;
        }
    }
    return status_;
}

bool CameraConsumer::running() {
    return pid_ > 0 && wait(std::chrono::milliseconds(0)) == -1;
}

std::vector<uint8_t> CameraConsumer::bytes() const {
    const std::string s = read_text(dir_ + "/" + tag_ + ".raw");
    return std::vector<uint8_t>(s.begin(), s.end());
}
