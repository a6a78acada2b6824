// SPDX-License-Identifier: MIT
// Faults during a recording keep every picture that reached the disk, and say so: a full disk,
// a file-size limit, a removed folder, a crash (SIGKILL) at any moment.
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <random>
#include <regex>

#include "av_movie.h"
#include "file_size_cap.h"
#include "recording_test_kit.h"

namespace fs = std::filesystem;

namespace {

// A small tmpfs of its own: a disk that really fills. Mounting needs privileges the machine
// may not give; ok() says whether it worked.
class SmallDisk {
public:
    SmallDisk(const fs::path& at, size_t bytes) : at_(at) {
        fs::create_directories(at);
        mounted_ = ::mount("tmpfs", at.c_str(), "tmpfs", 0,
                           ("size=" + std::to_string(bytes)).c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
    }
    bool ok() const { return mounted_; }

private:
    fs::path at_;
    bool mounted_ = false;
};

// HOME is a temporary folder for the test, so that saved movies land there.
class HomeFolder {
public:
    explicit HomeFolder(const fs::path& home) {
        if (const char* h = std::getenv("HOME")) old_ = h;
        fs::create_directories(home);
        setenv("HOME", home.c_str(), 1);
    }
    ~HomeFolder() { setenv("HOME", old_.c_str(), 1); }

private:
    std::string old_;
};

// The count of pictures an alert says were kept.
int64_t kept_in(const std::string& alert) {
    std::smatch m;
    if (std::regex_search(alert, m, std::regex("the (\\d+) pictures recorded")))
        return std::stoll(m[1]);
    return -1;
}

enum class Fault { DiskFull, FileSizeLimit, FolderRemoved };

struct FaultCase {
    const char* name;
    Fault fault;
    const char* alertStart;  // the step, its code and the cause
    const char* where;       // the movie's place as the alert shows it, relative to the test dir
    friend void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }
};

// A recording with a clock the test sets, HOME in the test's folder.
class FaultFixture : public ::testing::Test {
protected:
    FaultFixture() : home(dir.path() / "home") {
        r.clock = [this] { return nowMs * 1000; };
    }
    // Draws pictures 40 ms apart until the recording ends by itself or n were drawn.
    void drawUntilStopped(LivePipeline& p, int n) {
        for (int i = 0; i < n && r.RecordingOn; ++i) {
            nowMs += 40;
            p.frame();
        }
    }

    AlertSpy alerts;
    TempDir dir;
    HomeFolder home;
    RecordingState r;
    int64_t nowMs = 1000;
};

class RecordingFault : public FaultFixture, public ::testing::WithParamInterface<FaultCase> {};

}  // namespace

TEST_P(RecordingFault, EndsTheRecordingAndKeepsThePicturesOnDisk) {
    const FaultCase& c = GetParam();
    LivePipeline p(r, 160, 120);
    ASSERT_TRUE(set_compression_settings(r, p.s, kRawCodecType, codecLosslessQuality));
    p.drawPictures(3);
    fs::path folder = dir.path() / "movies";
    std::unique_ptr<SmallDisk> disk;
    if (c.fault == Fault::DiskFull) {
        disk = std::make_unique<SmallDisk>(folder, 2 << 20);  // about 2 fragments of raw pictures
        if (!disk->ok()) GTEST_SKIP() << "no tmpfs here; the file-size limit stands in for it";
    }
    fs::create_directories(folder);
    const std::string path = (folder / "WobbleMovie.mov").string();
    ASSERT_TRUE(setup_recording(r, p.s, path));
    drawUntilStopped(p, 20);
    {
        std::unique_ptr<FileSizeCap> cap;
        if (c.fault == Fault::FileSizeLimit) cap = std::make_unique<FileSizeCap>(1000000);
        if (c.fault == Fault::FolderRemoved) fs::remove_all(folder);
        drawUntilStopped(p, 200);
    }
    const int drawn = p.recordedFrames;

    EXPECT_EQ(r.RecordingOn, 0);
    ASSERT_EQ(alerts.texts().size(), 1u);
    const std::string alert = alerts.texts()[0];
    EXPECT_EQ(alert.rfind(c.alertStart, 0), 0u) << alert;
    const std::string where = (dir.path() / c.where).string();
    EXPECT_NE(alert.find(" are in " + display_path(where) + "."), std::string::npos) << alert;
    const int64_t kept = kept_in(alert);
    RecordProperty("drawn", drawn);
    RecordProperty("kept", static_cast<int>(kept));
    std::string error;
    EXPECT_EQ(decode_movie(where, error), kept) << error;
    // At most the last second (the fragment being gathered) and the failing picture are lost.
    EXPECT_GE(kept, drawn - 26) << alert;
    if (c.fault == Fault::FolderRemoved) EXPECT_EQ(kept, drawn);  // nothing failed to be written
    EXPECT_GE(kept, 12) << alert;
    EXPECT_EQ(ffmpeg_warnings(where), "");

    // The compressor serves the next recording.
    const std::string next = dir.file("next.mov");
    alerts.texts().clear();
    ASSERT_TRUE(setup_recording(r, p.s, next));
    drawUntilStopped(p, 2);
    ASSERT_TRUE(finish_recording(r));
    EXPECT_EQ(read_movie(next).durations, (std::vector<int64_t>{40, 24}));
    EXPECT_TRUE(alerts.texts().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, RecordingFault,
    ::testing::Values(
        FaultCase{"DiskFull", Fault::DiskFull,
                  "AddMediaSample for Video\nerror code = -28\nThe disk is full. The recording "
                  "was stopped; the ",
                  "movies/WobbleMovie.mov"},
        FaultCase{"FileSizeLimit", Fault::FileSizeLimit,
                  "AddMediaSample for Video\nerror code = -27\nThe movie file has reached the "
                  "largest size allowed. The recording was stopped; the ",
                  "movies/WobbleMovie.mov"},
        FaultCase{"FolderRemoved", Fault::FolderRemoved,
                  "AddMediaSample for Video\nerror code = -2\nThe folder of the movie was "
                  "removed. The recording was stopped; the ",
                  "home/WobbleMovie.mov"}),
    [](const auto& info) { return std::string(info.param.name); });

namespace {

enum class FinishFault { FolderRemoved, LastFragmentUnwritable, NoRoomToRewrite };

struct FinishCase {
    const char* name;
    FinishFault fault;
    int pictures;       // drawn before Stop
    const char* alert;  // {path}: the movie's own path
    int kept;
    const char* where;  // relative to the test dir
    friend void PrintTo(const FinishCase& c, std::ostream* os) { *os << c.name; }
};

class FinishFailure : public FaultFixture, public ::testing::WithParamInterface<FinishCase> {};

}  // namespace

// A fault at Stop: every picture on disk is kept, and the alert says where.
TEST_P(FinishFailure, KeepsThePicturesAndSaysWhere) {
    const FinishCase& c = GetParam();
    LivePipeline p(r, 160, 120);
    ASSERT_TRUE(set_compression_settings(r, p.s, kRawCodecType, codecLosslessQuality));
    p.drawPictures(3);
    const fs::path folder = dir.path() / "movies";
    std::unique_ptr<SmallDisk> disk;
    if (c.fault == FinishFault::NoRoomToRewrite) {
        disk = std::make_unique<SmallDisk>(folder, 3 << 20);  // room for one copy only
        if (!disk->ok()) GTEST_SKIP() << "no tmpfs here";
    }
    fs::create_directories(folder);
    const std::string path = (folder / "WobbleMovie.mov").string();
    ASSERT_TRUE(setup_recording(r, p.s, path));
    drawUntilStopped(p, c.pictures);
    std::unique_ptr<FileSizeCap> cap;
    if (c.fault == FinishFault::FolderRemoved) fs::remove_all(folder);
    if (c.fault == FinishFault::LastFragmentUnwritable)
        cap = std::make_unique<FileSizeCap>(fs::file_size(path) + 100);
    EXPECT_FALSE(finish_recording(r));
    cap.reset();

    std::string alert = c.alert;
    alert.replace(alert.find("{path}"), 6, display_path((dir.path() / c.where).string()));
    EXPECT_EQ(alerts.texts(), std::vector<std::string>{alert});
    std::string error;
    EXPECT_EQ(decode_movie((dir.path() / c.where).string(), error), c.kept) << error;
    if (c.fault != FinishFault::FolderRemoved)  // no temporary file left behind
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FinishFailure,
    ::testing::Values(
        FinishCase{"FolderRemoved", FinishFault::FolderRemoved, 5,
                   "AddMovieResource\nerror code = -2\nThe folder of the movie was removed. The "
                   "5 pictures recorded are in {path}.",
                   5, "home/WobbleMovie.mov"},
        FinishCase{"LastFragmentUnwritable", FinishFault::LastFragmentUnwritable, 20,
                   "EndMediaEdits for Video\nerror code = -27\nThe movie file has reached the "
                   "largest size allowed. The 12 pictures recorded are in {path}.",
                   12, "movies/WobbleMovie.mov"},
        FinishCase{"NoRoomToRewrite", FinishFault::NoRoomToRewrite, 30,
                   "AddMovieResource\nerror code = -28\nThe disk is full. The 30 pictures "
                   "recorded are in {path}.",
                   30, "movies/WobbleMovie.mov"}),
    [](const auto& info) { return std::string(info.param.name); });

// A crash at any moment: the process is killed while it records; the movie on disk plays and
// holds every picture but those of the last second.
class CrashWhileRecording : public ::testing::TestWithParam<int> {};

TEST_P(CrashWhileRecording, LosesAtMostTheLastSecond) {
    TempDir dir;
    const std::string path = dir.file("crash.mov");
    std::mt19937 pick(static_cast<unsigned>(GetParam()));
    const int killAfter = 31 + static_cast<int>(pick() % 60);  // pictures: 1 to 3 s
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        RecordingState r;
        int64_t nowMs = 1000;
        r.clock = [&] { return nowMs * 1000; };
        LivePipeline p(r, 160, 120);
        p.drawPictures(3);
        if (!setup_recording(r, p.s, path)) _exit(3);
        while (p.recordedFrames < killAfter) {
            nowMs += 33;
            p.frame();
        }
        std::raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    // A second is 30 pictures 20 units long (the first lasts 40): at most 31 in the open
    // fragment.
    std::string error;
    const int decoded = decode_movie(path, error);
    RecordProperty("recorded", killAfter);
    RecordProperty("kept", decoded);
    EXPECT_GE(decoded, killAfter - 31) << error;
    EXPECT_EQ(ffmpeg_warnings(path), "");
}

INSTANTIATE_TEST_SUITE_P(Seeds, CrashWhileRecording, ::testing::Values(1, 2, 3, 4),
                         [](const auto& info) { return "Seed" + std::to_string(info.param); });
