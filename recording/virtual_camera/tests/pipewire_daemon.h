// SPDX-License-Identifier: MIT
// A private PipeWire daemon and session manager for a test, and GStreamer's pipewiresrc as a
// real consumer of a camera node. Every process is started and stopped by its id.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// Starts a program with this process's environment, standard output and error appended to
// `log`; its id, or -1.
pid_t spawn_program(const std::vector<std::string>& argv, const std::string& log);
// Its exit status once it ended, or -1 when `timeout` passed first (it is left running).
int wait_program(pid_t pid, std::chrono::milliseconds timeout);
std::string read_text(const std::string& path);

class PipeWireDaemon {
public:
    ~PipeWireDaemon() { stop(); }
    // Runs `pipewire` and `wireplumber` under `dbus-run-session` in a private XDG_RUNTIME_DIR
    // and points this process (and what it starts later) at them; false, with why, when the
    // machine cannot run them.
    bool start(std::string& why);
    void stop();  // both by their ids; the environment as it was
    const std::string& dir() const { return dir_; }

private:
    pid_t session_ = -1, pipewire_ = -1, wireplumber_ = -1;
    std::string dir_;
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;  // as before start
};

// gst-launch-1.0 -v taking `pictures` pictures in `format` (BGRx, RGBx, YUY2) from the node
// `node` into a file; its log shows the negotiated caps.
class CameraConsumer {
public:
    CameraConsumer(std::string dir, std::string tag) : path_(dir + "/" + tag) {}
    ~CameraConsumer();
    bool start(const std::string& node, const std::string& format, int pictures);
    // Its exit status (0 once every picture arrived), -1 while it still runs after `timeout`.
    int wait(std::chrono::milliseconds timeout);
    bool running() { return pid_ > 0 && wait(std::chrono::milliseconds(0)) == -1; }
    std::vector<uint8_t> bytes() const;
    std::string log() const { return read_text(path_ + ".log"); }

private:
    std::string path_;
    std::vector<std::string> argv_;
    int restarts_ = 0;
    pid_t pid_ = -1;
    int status_ = -1;  // once it ended
};
