// SPDX-License-Identifier: MIT
// Faults during a recording and at its end keep every picture that reached the disk, and say
// so: a full disk, a file-size limit, a removed folder, a crash (SIGKILL) at any moment.
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <memory>
#include <random>
#include <regex>

#include "av_movie.h"
#include "file_size_cap.h"
#include "recording_test_kit.h"

namespace fs = std::filesystem;

namespace {

// A small tmpfs of its own: a disk that really fills. Mounting needs privileges the machine
// may not give; ok says whether it worked.
struct SmallDisk {
    SmallDisk(const fs::path& at, size_t bytes) : at(at) {
        fs::create_directories(at);
        ok = ::mount("tmpfs", at.c_str(), "tmpfs", 0, ("size=" + std::to_string(bytes)).c_str()) == 0;
    }
    ~SmallDisk() { if (ok) ::umount2(at.c_str(), MNT_DETACH); }
    fs::path at;
    bool ok = false;
};

enum class Fault { DiskFull, FileSizeLimit, FolderRemoved };

struct FaultRow {
    const char* name;
    Fault fault;
    int stopAfter;      // pictures drawn before Stop; 0: the fault comes while recording
    const char* alert;  // how the alert starts, up to the count of pictures kept
    friend void PrintTo(const FaultRow& row, std::ostream* os) { *os << row.name; }
};

// HOME in the test's folder, so that a movie whose folder was removed lands there.
class RecordingFault : public RecordingFixture, public ::testing::WithParamInterface<FaultRow> {
protected:
    RecordingFault() {
        fs::create_directories(dir.path("home"));
        setenv("HOME", dir.path("home").c_str(), 1);
    }
    ~RecordingFault() override { setenv("HOME", oldHome_.c_str(), 1); }
    // Draws pictures 40 ms apart until the recording ends by itself or n were drawn.
    void drawUntilStopped(int n) {
        for (int i = 0; i < n && r.RecordingOn; ++i) drawAt(nowMs + 40);
    }
    const std::string oldHome_ = std::getenv("HOME") ? std::getenv("HOME") : "";
};

}  // namespace

TEST_P(RecordingFault, EndsTheRecordingKeepsThePicturesOnDiskAndSaysWhere) {
    const FaultRow& c = GetParam();
    ASSERT_TRUE(set_compression_settings(r, pictures.s, kRawCodecType, codecLosslessQuality));
    const fs::path folder = dir.path("movies");
    std::unique_ptr<SmallDisk> disk;
    if (c.fault == Fault::DiskFull) {  // about 2 fragments of raw pictures; at Stop, one copy
        disk = std::make_unique<SmallDisk>(folder, (c.stopAfter ? 3 : 2) << 20);
        if (!disk->ok) GTEST_SKIP() << "no tmpfs here; the file-size limit stands in for it";
    }
    fs::create_directories(folder);
    const std::string path = (folder / "WobbleMovie.mov").string();
    ASSERT_TRUE(setup_recording(r, pictures.s, path));
    drawUntilStopped(c.stopAfter ? c.stopAfter : 20);
    std::unique_ptr<FileSizeCap> cap;
    if (c.fault == Fault::FileSizeLimit)
        cap = std::make_unique<FileSizeCap>(c.stopAfter ? fs::file_size(path) + 100 : 1000000);
    if (c.fault == Fault::FolderRemoved) fs::remove_all(folder);
    if (c.stopAfter)
        EXPECT_FALSE(finish_recording(r));
    else
        drawUntilStopped(200);
    cap.reset();

    EXPECT_EQ(r.RecordingOn, 0);
    ASSERT_EQ(alerts.calls().size(), 1u);
    const std::string alert = alerts.calls()[0].text;
    EXPECT_EQ(alert.rfind(c.alert, 0), 0u) << alert;
    // Where the pictures are: in the movie's folder, or at home when it was removed.
    const std::string where =
        fs::path(dir.path(c.fault == Fault::FolderRemoved ? "home" : "movies")) / "WobbleMovie.mov";
    EXPECT_NE(alert.find(" are in " + display_path(where) + "."), std::string::npos) << alert;
    std::smatch kept;
    ASSERT_TRUE(std::regex_search(alert, kept, std::regex("(\\d+) pictures recorded"))) << alert;
    std::string error;
    EXPECT_EQ(decode_movie(where, error), std::stoi(kept[1])) << error;
    EXPECT_EQ(ffmpeg_warnings(where), "");
    if (c.fault != Fault::FolderRemoved) {  // no temporary file left behind
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    }
    if (!c.stopAfter) {
        // At most the last second (the fragment being gathered) and the failing picture are lost.
        EXPECT_GE(std::stoi(kept[1]),
                  std::max(12, c.fault == Fault::FolderRemoved ? handed : handed - 26));
        // The compressor serves the next recording.
        alerts.calls().clear();
        EXPECT_EQ(read_movie(record("next.mov", {nowMs, nowMs + 40})).durations,
                  (std::vector<int64_t>{40, 24}));
        EXPECT_TRUE(alerts.calls().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, RecordingFault,
    ::testing::Values(
        FaultRow{"DiskFull", Fault::DiskFull, 0,
                 "AddMediaSample for Video\nerror code = -28\nThe disk is full. The recording "
                 "was stopped; the "},
        FaultRow{"FileSizeLimit", Fault::FileSizeLimit, 0,
                 "AddMediaSample for Video\nerror code = -27\nThe movie file has reached the "
                 "largest size allowed. The recording was stopped; the "},
        FaultRow{"FolderRemoved", Fault::FolderRemoved, 0,
                 "AddMediaSample for Video\nerror code = -2\nThe folder of the movie was "
                 "removed. The recording was stopped; the "},
        FaultRow{"NoRoomToRewriteAtStop", Fault::DiskFull, 30,
                 "AddMovieResource\nerror code = -28\nThe disk is full. The 30 pictures"},
        FaultRow{"LastFragmentUnwritableAtStop", Fault::FileSizeLimit, 20,
                 "EndMediaEdits for Video\nerror code = -27\nThe movie file has reached the "
                 "largest size allowed. The 12 pictures"},
        FaultRow{"FolderRemovedAtStop", Fault::FolderRemoved, 5,
                 "AddMovieResource\nerror code = -2\nThe folder of the movie was removed. The "
                 "5 pictures"}),
    [](const auto& info) { return std::string(info.param.name); });

// A crash at any moment: the process is killed while it records; the movie on disk plays and
// holds every picture but those of the last second.
class CrashWhileRecording : public RecordingFixture, public ::testing::WithParamInterface<int> {};

TEST_P(CrashWhileRecording, LosesAtMostTheLastSecond) {
    const std::string path = dir.path("crash.mov");
    std::mt19937 pick(static_cast<unsigned>(GetParam()));
    const int killAfter = 31 + static_cast<int>(pick() % 60);  // pictures: 1 to 3 s
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!setup_recording(r, pictures.s, path)) _exit(3);
        while (handed < killAfter) drawAt(nowMs + 33);
        std::raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    // A second is 30 pictures 20 units long (the first lasts 40): at most 31 in the open
    // fragment.
    std::string error;
    EXPECT_GE(decode_movie(path, error), killAfter - 31) << error;
    EXPECT_EQ(ffmpeg_warnings(path), "");
}

INSTANTIATE_TEST_SUITE_P(Seeds, CrashWhileRecording, ::testing::Values(1, 2, 3, 4),
                         [](const auto& info) { return "Seed" + std::to_string(info.param); });
