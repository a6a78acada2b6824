// SPDX-License-Identifier: MIT
// A private PipeWire daemon and session manager for a test, and GStreamer's pipewiresrc as a
// real consumer of a camera node. Every process is started and stopped by its id.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// Starts a program with the environment of this process; its standard output and error go to
// `log` (appended). Returns the process id, or -1.
pid_t spawn_program(const std::vector<std::string>& argv, const std::string& log);
// Waits for the process to end; its exit status, or -1 when `timeout` passed first (it is then
// left running).
int wait_program(pid_t pid, std::chrono::milliseconds timeout);
// SIGTERM, then SIGKILL when it has not ended within a second; reaps it.
void stop_program(pid_t pid);

std::string read_text(const std::string& path);

class PipeWireDaemon {
public:
    ~PipeWireDaemon() { stop(); }

    // Runs `pipewire` and `wireplumber` under `dbus-run-session` in a private XDG_RUNTIME_DIR
    // and points this process (and what it starts later) at them. False, with why, when the
    // machine cannot run a daemon.
    bool start(std::string& why);
    // Stops both by their ids and restores the environment.
    void stop();

    const std::string& dir() const { return dir_; }  // the private runtime directory

private:
    pid_t session_ = -1, pipewire_ = -1, wireplumber_ = -1;
    std::string dir_;
    struct Saved {
        const char* name;
        bool set;
        std::string value;
    };
    std::vector<Saved> saved_;  // the environment as it was before start
};

// gst-launch-1.0 taking `pictures` pictures from the node `node` in `format` (BGRx, RGBx,
// YUY2) into a file. With -v its log shows the negotiated caps.
class CameraConsumer {
public:
    CameraConsumer(std::string dir, std::string tag) : dir_(std::move(dir)), tag_(std::move(tag)) {}
    ~CameraConsumer() {
        if (pid_ > 0) stop_program(pid_);
    }

    bool start(const std::string& node, const std::string& format, int pictures);
    // Its exit status (0 once every picture arrived), -1 while it still runs after `timeout`.
    int wait(std::chrono::milliseconds timeout);
    bool running();
    std::vector<uint8_t> bytes() const;
    std::string log() const { return read_text(dir_ + "/" + tag_ + ".log"); }

private:
    static constexpr std::chrono::milliseconds kLinkTime{10000};  // to reach PLAYING
    std::string dir_, tag_;
    std::string node_, format_;
    int pictures_ = 0;
    int restarts_ = 0;
    pid_t pid_ = -1;
    int status_ = -1;  // once it ended
};
