// SPDX-License-Identifier: MIT
#include "pipewire_daemon.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

extern char** environ;

namespace {

using namespace std::chrono;

// SIGTERM, then SIGKILL when it has not ended within a second; reaps it.
void stop_program(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    if (wait_program(pid, seconds(1)) == -1) {
        ::kill(pid, SIGKILL);
        wait_program(pid, seconds(5));
    }
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

int wait_program(pid_t pid, milliseconds timeout) {
    for (const auto end = steady_clock::now() + timeout;; std::this_thread::sleep_for(10ms)) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (r < 0) return -2;
        if (steady_clock::now() >= end) return -1;
    }
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool PipeWireDaemon::start(std::string& why) {
    if (std::system("command -v pipewire wireplumber dbus-run-session pw-dump >/dev/null") != 0) {
        why = "pipewire, wireplumber, dbus or pw-dump is missing (scripts/install-deps.sh)";
        return false;
    }
    char tmpl[] = "/tmp/wobble-pipewire-XXXXXX";  // mode 700, as PipeWire wants
    if (!::mkdtemp(tmpl)) return why = "cannot make a private runtime directory", false;
    dir_ = tmpl;
    for (const char* name : {"XDG_RUNTIME_DIR", "XDG_STATE_HOME", "PIPEWIRE_REMOTE"}) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    }
    ::setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    ::setenv("XDG_STATE_HOME", (dir_ + "/state").c_str(), 1);
    ::unsetenv("PIPEWIRE_REMOTE");
    // The shell inside the session writes both ids, then waits for both to end.
    session_ = spawn_program({"dbus-run-session", "--", "sh", "-c",
                              "pipewire & echo $! > '" + dir_ +
                                  "/pipewire.pid'; wireplumber & echo $! > '" + dir_ +
                                  "/wireplumber.pid'; wait"},
                             dir_ + "/daemon.log");
    // Nodes are linked only once the session manager has loaded its policy; its export client
    // appears then. On a loaded machine that takes seconds.
    const std::string ready =
        "pw-dump 2>/dev/null | grep -q 'WirePlumber \\[export\\]'";  // at $XDG_RUNTIME_DIR
    for (const auto end = steady_clock::now() + 40s;; std::this_thread::sleep_for(100ms)) {
        if (pipewire_ <= 0) pipewire_ = std::atoi(read_text(dir_ + "/pipewire.pid").c_str());
        if (wireplumber_ <= 0)
            wireplumber_ = std::atoi(read_text(dir_ + "/wireplumber.pid").c_str());
        if (pipewire_ > 0 && wireplumber_ > 0 && std::system(ready.c_str()) == 0) return true;
        if (session_ < 0 || steady_clock::now() >= end || wait_program(session_, {}) >= 0) {
            why = "the PipeWire daemon did not come up: " + read_text(dir_ + "/daemon.log");
            stop();
            return false;
        }
    }
}

void PipeWireDaemon::stop() {
    for (pid_t p : {wireplumber_, pipewire_})
        if (p > 0) ::kill(p, SIGTERM);
    if (session_ > 0 && wait_program(session_, seconds(5)) == -1) {
        for (pid_t p : {wireplumber_, pipewire_})
            if (p > 0) ::kill(p, SIGKILL);
        stop_program(session_);
    }
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
    session_ = pipewire_ = wireplumber_ = -1;
    for (const auto& [name, old] : saved_) old ? ::setenv(name, old->c_str(), 1) : ::unsetenv(name);
    saved_.clear();
}

CameraConsumer::~CameraConsumer() { stop_program(pid_); }

bool CameraConsumer::start(const std::string& node, const std::string& format, int pictures) {
    argv_ = {"gst-launch-1.0", "-v", "pipewiresrc", "target-object=" + node,
             "num-buffers=" + std::to_string(pictures), "always-copy=true", "!",
             "video/x-raw,format=" + format, "!", "filesink", "location=" + path_ + ".raw"};
    pid_ = spawn_program(argv_, path_ + ".log");
    return pid_ > 0;
}

int CameraConsumer::wait(milliseconds timeout) {
    for (const auto end = steady_clock::now() + timeout; pid_ > 0;) {
        const auto left = duration_cast<milliseconds>(end - steady_clock::now());
        // 10 s to reach PLAYING: now and then, on a loaded machine, gst-launch stays at PAUSED
        // and never links to the node; such a consumer is started again, twice at most.
        const int status = wait_program(pid_, std::clamp(left, 0ms, milliseconds(10s)));
        if (status != -1) {
            pid_ = -1;
            return status_ = status;
        }
        if (steady_clock::now() >= end) return -1;
        if (restarts_ < 2 && log().find("Setting pipeline to PLAYING") == std::string::npos) {
            stop_program(pid_);
            ++restarts_;
            if ((pid_ = spawn_program(argv_, path_ + ".log")) < 0) return -1;
        }
    }
    return status_;
}

std::vector<uint8_t> CameraConsumer::bytes() const {
    const std::string s = read_text(path_ + ".raw");
    return std::vector<uint8_t>(s.begin(), s.end());
}
