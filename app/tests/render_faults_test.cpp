// SPDX-License-Identifier: MIT
// `wobblescope render` interrupted by a signal, and the edges of its inputs and outputs: the
// program itself, run as a child process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "movie_reader.h"

namespace fs = std::filesystem;

namespace {

struct RenderRun {
    int status = -1;  // exit status, or 128 + the signal that ended it
    std::string said;
};

// Whether the main thread of a child is blocked reading its standard input: the system call it
// sleeps in is read on descriptor 0. A sleeping state alone does not say so, since the program
// also sleeps while its output thread finishes a write.
bool reading_standard_input(pid_t pid) {
    std::ifstream syscall("/proc/" + std::to_string(pid) + "/syscall");
    std::string number, fd;
    syscall >> number >> fd;
    return number == std::to_string(SYS_read) && fd == "0x0";
}

// A thread of the child other than its main one that does not block `signal`; 0 if none.
pid_t thread_taking(pid_t pid, int signal) {
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
        const pid_t tid = std::stoi(task.path().filename().string());
        std::ifstream status(task.path() / "status");
        for (std::string line; tid != pid && std::getline(status, line);) {
            if (line.rfind("SigBlk:", 0) == 0 &&
                !((std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1))
                return tid;
        }
    }
    return 0;
}

// Runs `wobblescope render args...` with `input` on its standard input. With a signal given, the
// input pipe stays open: once the program has read all of it and waits for more, it gets the
// signal, sent to the process or, with `toWorker`, to one of its other threads. A program still
// running 15 s later is killed.
RenderRun render(const std::vector<std::string>& args, const std::string& input, int signal = 0,
                 bool toWorker = false) {
    int in[2], err[2];
    if (pipe(in) != 0 || pipe(err) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(err[1], 2);
        close(in[1]);
        close(err[0]);
        std::vector<char*> argv{const_cast<char*>(WOBBLESCOPE_BIN), const_cast<char*>("render")};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(WOBBLESCOPE_BIN, argv.data());
        _exit(127);
    }
    close(in[0]);
    close(err[1]);
    std::atomic<bool> ended{false};
    std::thread writer([&] {
        for (size_t done = 0; done < input.size();) {
            const ssize_t n = write(in[1], input.data() + done, input.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        if (!signal) {
            close(in[1]);
            return;
        }
        // All read and the program waiting for the next frame: then the signal.
        for (int unread = 1; unread > 0 || !reading_standard_input(pid);) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (ioctl(in[1], FIONREAD, &unread) != 0) unread = 0;
        }
        const pid_t worker = toWorker ? thread_taking(pid, signal) : 0;
        EXPECT_TRUE(worker || !toWorker) << "no thread but the main one takes the signal";
        worker ? syscall(SYS_tgkill, pid, worker, signal) : kill(pid, signal);
        for (int i = 0; i < 1500 && !ended; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!ended) kill(pid, SIGKILL);
    });
    RenderRun r;
    char buf[4096];
    while (const ssize_t n = read(err[0], buf, sizeof buf)) {
        if (n < 0) break;
        r.said.append(buf, static_cast<size_t>(n));
    }
    ended = true;
    writer.join();
    if (signal) close(in[1]);
    close(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

// n frames of w x h A, R, G, B pixels.
std::string frames(int w, int h, int n) {
    std::string out(4 * static_cast<size_t>(w) * h * n, '\0');
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<char>(i * 7 % 251);
    return out;
}

size_t file_size(const std::string& path) {
    std::error_code ec;
    const auto n = fs::file_size(path, ec);
    return ec ? 0 : static_cast<size_t>(n);
}

class RenderFaults : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/wobble-faults-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string path(const std::string& name) const { return dir + "/" + name; }
    std::string write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path(name), std::ios::binary) << bytes;
        return path(name);
    }
    std::string dir;
};

struct SignalCase {
    const char* name;
    int signal;
    const char* output;
    bool toWorker;  // delivered to a thread other than the one reading the input
    friend void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }
};

class RenderInterrupted : public RenderFaults, public ::testing::WithParamInterface<SignalCase> {};

}  // namespace

// Six frames in, three pictures drawn, then the signal: the three are kept under OUTPUT.part.
TEST_P(RenderInterrupted, KeepsThePicturesSoFarInOutputPart) {
    const SignalCase& c = GetParam();
    const std::string out = path(c.output);
    const RenderRun r = render({"--quiet", "--threads", "2", "--raw-size", "16x8", "--effect",
                                "normal", "-", out},
                               frames(16, 8, 6), c.signal, c.toWorker);
    EXPECT_EQ(r.status, 128 + c.signal) << r.said;
    EXPECT_NE(r.said.find("interrupted after 3 pictures; they are in " + out + ".part"),
              std::string::npos)
        << r.said;
    EXPECT_FALSE(fs::exists(out));
    if (fs::path(out).extension() == ".rgb") {
        EXPECT_EQ(file_size(out + ".part"), 3u * 8 * 4 * 3);
    } else {
        std::string error;
        EXPECT_EQ(decode_movie(out + ".part", error), 3) << error;
        EXPECT_EQ(read_movie(out + ".part").durations, (std::vector<int64_t>{40, 40, 40}));
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, RenderInterrupted,
                         ::testing::Values(SignalCase{"SigintRgb", SIGINT, "out.rgb", false},
                                           SignalCase{"SigtermRgb", SIGTERM, "out.rgb", false},
                                           SignalCase{"SigintMovie", SIGINT, "out.mov", false},
                                           SignalCase{"SigtermMovie", SIGTERM, "out.mov", false},
                                           SignalCase{"SigtermToAWorker", SIGTERM, "out.rgb", true},
                                           SignalCase{"SigintToAWorker", SIGINT, "out.mov", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RenderFaults, ASignalBeforeAnyPictureLeavesNothing) {
    const RenderRun r =
        render({"--quiet", "--raw-size", "16x8", "-", path("out.mov")}, frames(16, 8, 2), SIGTERM);
    EXPECT_EQ(r.status, 128 + SIGTERM);
    EXPECT_NE(r.said.find("no output written"), std::string::npos) << r.said;
    EXPECT_FALSE(fs::exists(path("out.mov.part")));
}

namespace {

struct EdgeCase {
    const char* name;
    std::vector<std::string> args;  // {clip}, {tall}, {text}, {out} are replaced
    int status;
    const char* says;
    friend void PrintTo(const EdgeCase& c, std::ostream* os) { *os << c.name; }
};

class RenderEdge : public RenderFaults, public ::testing::WithParamInterface<EdgeCase> {};

}  // namespace

// An old output stays as it was unless a run wrote pictures in its place.
TEST_P(RenderEdge, RefusedOrWrittenAsItShouldBe) {
    const EdgeCase& c = GetParam();
    const std::string clip = write("clip.argb", frames(8, 4, 6));
    const std::string out = write("old.rgb", "old pictures");
    std::vector<std::string> args;
    for (std::string a : c.args) {
        if (a == "{clip}") a = clip;
        if (a == "{tall}") a = write("tall.argb", frames(2, 8192, 1));
        if (a == "{wide}") a = write("wide.argb", frames(4100, 2, 5));
        if (a == "{text}") a = write("notes.txt", "Shopping list\n\tmilk\n\teggs\n");
        if (a == "{out}") a = out;
        if (a == "{mov}") a = path("out.mov");
        args.push_back(a);
    }
    const RenderRun r = render(args, "");
    EXPECT_EQ(r.status, c.status) << r.said;
    EXPECT_NE(r.said.find(c.says), std::string::npos) << r.said;
    if (c.status != 0) {
        std::ifstream kept(out);
        EXPECT_EQ(std::string((std::istreambuf_iterator<char>(kept)), {}), "old pictures");
        EXPECT_FALSE(fs::exists(out + ".part"));
        EXPECT_FALSE(fs::exists(path("out.mov")));
        EXPECT_FALSE(fs::exists(path("out.mov.part")));
        EXPECT_EQ(file_size(clip), 4u * 8 * 4 * 6);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Edges, RenderEdge,
    ::testing::Values(
        EdgeCase{"NoFrameRendered",
                 {"--frames", "0", "--raw-size", "8x4", "{clip}", "{out}"},
                 2,
                 "no picture was drawn"},
        EdgeCase{"TooFewFramesToDraw",
                 {"--frames", "3", "--raw-size", "8x4", "{clip}", "{out}"},
                 2,
                 "no picture was drawn"},
        EdgeCase{
            "EmptyStandardInput", {"--raw-size", "8x4", "-", "{out}"}, 2, "no picture was drawn"},
        EdgeCase{"ZeroWorkingWidth",
                 {"--raw-size", "2x8192", "{tall}", "{out}"},
                 2,
                 "give a working size of 0 x 240"},
        EdgeCase{"OnePixelH264",
                 {"--raw-size", "8x4", "--size", "half", "--codec", "avc1", "{clip}", "{mov}"},
                 0,
                 "pictures of 4 x 2"},
        EdgeCase{"TooSmallForH264",
                 {"--raw-size", "2x4", "--codec", "avc1", "{tall}", "{mov}"},
                 2,
                 "at least 2 x 2 pixels"},
        EdgeCase{"TextInput", {"{text}", "{out}"}, 2, "a text file, not a video"},
        EdgeCase{"OutputIsTheInput",
                 {"--raw-size", "8x4", "{clip}", "{clip}"},
                 2,
                 "OUTPUT names the input file"},
        EdgeCase{
            "WideMovie",
            {"--raw-size", "4100x2", "--size", "full", "--effect", "normal", "{wide}", "{mov}"},
            0,
            "pictures of 4100 x 2 written"}),
    [](const auto& info) { return std::string(info.param.name); });
