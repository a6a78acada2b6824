// SPDX-License-Identifier: MIT
// The virtual camera against a real PipeWire daemon and GStreamer's pipewiresrc, and its
// conversions and refusals without one.
#include "virtual_camera.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

#include "camera_feed.h"
#include "pipewire_daemon.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

// Picture n of a test feed: R, G, B, X with every byte depending on n.
CameraPicture numbered_picture(int n, int w, int h) {
    CameraPicture p;
    p.width = w;
    p.height = h;
    p.rowBytes = 4 * w;
    p.bytes.resize(static_cast<size_t>(p.rowBytes) * h);
    std::mt19937 rng(static_cast<unsigned>(n) + 1);
    for (uint8_t& b : p.bytes) b = static_cast<uint8_t>(rng());
    return p;
}

Bytes converted(const CameraPicture& p, CameraFormat f, int w, int h) {
    Bytes out(static_cast<size_t>(camera_stride(f, w)) * h);
    PictureConverter c;
    EXPECT_TRUE(c.convert(p, f, out.data(), camera_stride(f, w), w, h));
    return out;
}

TEST(PictureMailbox, KeepsOnlyTheNewestPicture) {
    PictureMailbox box;
    const CameraPicture a = numbered_picture(1, 4, 2), b = numbered_picture(2, 4, 2);
    EXPECT_FALSE(box.put(a.bytes.data(), a.rowBytes, 4, 2));
    EXPECT_TRUE(box.put(b.bytes.data(), b.rowBytes, 4, 2));  // a was never taken
    const CameraPicture* got = box.take();
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->bytes, b.bytes);
    EXPECT_EQ(box.take(), nullptr);
    EXPECT_FALSE(box.idle());  // still being read
    box.release();
    EXPECT_TRUE(box.idle());
}

struct ConvertRow {
    const char* name;
    CameraFormat format;
    int sw, sh, dw, dh;
    uint8_t r, g, b;
    Bytes expect;  // the first destination pixel (YUY2: the first two pixels)
};

void PrintTo(const ConvertRow& row, std::ostream* os) {
    *os << row.name;
}

class Convert : public ::testing::TestWithParam<ConvertRow> {};

// A uniform picture stays uniform through scaling; the bytes follow the format's order.
TEST_P(Convert, WritesTheFormatsByteOrder) {
    const ConvertRow& row = GetParam();
    CameraPicture p;
    p.width = row.sw;
    p.height = row.sh;
    p.rowBytes = 4 * row.sw;
    for (int i = 0; i < row.sw * row.sh; ++i)
        p.bytes.insert(p.bytes.end(), {row.r, row.g, row.b, 0x00});
    const Bytes out = converted(p, row.format, row.dw, row.dh);
    const size_t unit = row.expect.size();
    for (size_t i = 0; i + unit <= out.size(); i += unit)
        ASSERT_TRUE(std::equal(row.expect.begin(), row.expect.end(), out.begin() + i))
            << "at byte " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, Convert,
    ::testing::Values(
        ConvertRow{"BGRxSameSize", CameraFormat::BGRx, 8, 4, 8, 4, 10, 20, 30, {30, 20, 10, 0xFF}},
        ConvertRow{"RGBxSameSize", CameraFormat::RGBx, 8, 4, 8, 4, 10, 20, 30, {10, 20, 30, 0xFF}},
        ConvertRow{
            "RGBxHalfScaledUp", CameraFormat::RGBx, 8, 4, 16, 8, 10, 20, 30, {10, 20, 30, 0xFF}},
        ConvertRow{
            "YUY2White", CameraFormat::YUY2, 8, 4, 8, 4, 255, 255, 255, {235, 128, 235, 128}},
        ConvertRow{"YUY2BlackHalf", CameraFormat::YUY2, 8, 4, 16, 8, 0, 0, 0, {16, 128, 16, 128}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Convert, BgrxOfAPictureIsItsBytesReordered) {
    const CameraPicture p = numbered_picture(7, 12, 3);
    const Bytes out = converted(p, CameraFormat::BGRx, 12, 3);
    for (size_t i = 0; i < out.size(); i += 4) {
        ASSERT_EQ(out[i], p.bytes[i + 2]);
        ASSERT_EQ(out[i + 1], p.bytes[i + 1]);
        ASSERT_EQ(out[i + 2], p.bytes[i]);
    }
}

// Half size doubled: source pixels at even places, the means of neighbours between them.
TEST(Convert, HalfSizeIsDoubledWithMeans) {
    CameraPicture p;
    p.width = 2;
    p.height = 2;
    p.rowBytes = 8;
    p.bytes = {0,   10, 20, 0, 100, 110, 121, 0,  // row 0
               200, 10, 20, 0, 100, 110, 121, 0};
    const Bytes out = converted(p, CameraFormat::RGBx, 4, 4);
    const Bytes row0 = {0, 10, 20, 255, 50, 60, 71, 255, 100, 110, 121, 255, 100, 110, 121, 255};
    const Bytes row1 = {100, 10, 20, 255, 100, 60, 71, 255, 100, 110, 121, 255, 100, 110, 121, 255};
    const Bytes row2 = {200, 10, 20, 255, 150, 60, 71, 255, 100, 110, 121, 255, 100, 110, 121, 255};
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 16), row0);
    EXPECT_EQ(Bytes(out.begin() + 16, out.begin() + 32), row1);
    EXPECT_EQ(Bytes(out.begin() + 32, out.begin() + 48), row2);
    EXPECT_EQ(Bytes(out.begin() + 48, out.end()), row2);
}

struct DeviceRow {
    const char* name;
    const char* path;
    const char* why;
};

void PrintTo(const DeviceRow& row, std::ostream* os) {
    *os << row.name;
}

class V4l2Refusal : public ::testing::TestWithParam<DeviceRow> {};

// What is not a loopback device is named, and the message says how to get one.
TEST_P(V4l2Refusal, NamesTheDeviceAndTheFix) {
    std::string error;
    EXPECT_EQ(open_v4l2_camera(GetParam().path, 64, 48, error), nullptr);
    EXPECT_EQ(error.rfind(std::string(GetParam().path) + ": " + GetParam().why, 0), 0u) << error;
    EXPECT_NE(error.find("load the v4l2loopback module: sudo modprobe v4l2loopback"),
              std::string::npos)
        << error;
}

INSTANTIATE_TEST_SUITE_P(Paths, V4l2Refusal,
                         ::testing::Values(DeviceRow{"Missing", "/dev/video97", "cannot open it"},
                                           DeviceRow{"NotV4l2", "/dev/null", "not a V4L2 device"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CameraTarget, DevicePathsAreV4l2AndNamesAreNodes) {
    EXPECT_EQ(parse_camera_target("").name, kDefaultCameraName);
    EXPECT_FALSE(parse_camera_target("studio").v4l2);
    EXPECT_TRUE(parse_camera_target("/dev/video7").v4l2);
    EXPECT_EQ(parse_camera_target("/dev/video7").name, "/dev/video7");
}

TEST(NoDaemon, OpeningSaysNoDaemonIsReachable) {
    char tmpl[] = "/tmp/wobble-nodaemon-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    setenv("XDG_RUNTIME_DIR", tmpl, 1);
    unsetenv("PIPEWIRE_REMOTE");
    std::string why, error;
    EXPECT_FALSE(pipewire_reachable(why));
    EXPECT_EQ(open_pipewire_camera("nobody", 64, 48, 30, error), nullptr);
    EXPECT_NE(error.find("no PipeWire daemon is reachable"), std::string::npos) << error;
    rmdir(tmpl);
}

// A node on a private daemon, fed numbered pictures from a thread of its own at 30 per second
// for as long as the test runs.
class PipeWireCamera : public ::testing::Test {
protected:
    static constexpr int kW = 64, kH = 48;

    void SetUp() override {
        std::string why;
        if (!daemon.start(why)) GTEST_SKIP() << "cannot run a PipeWire daemon here: " << why;
        std::string error;
        camera = open_pipewire_camera(node, kW, kH, 30, error);
        ASSERT_NE(camera, nullptr) << error;
    }
    void TearDown() override {
        stopFeeding();
        camera.reset();
        daemon.stop();
    }
    void startFeeding() {
        feeder = std::thread([this] {
            for (int n = 0; !quit; ++n) {
                const CameraPicture p = numbered_picture(n % kPictures, kW, kH);
                camera->feed(p.bytes.data(), p.rowBytes, kW, kH);
                std::this_thread::sleep_for(33ms);
            }
        });
    }
    void stopFeeding() {
        quit = true;
        if (feeder.joinable()) feeder.join();
    }
    // Every received picture is one of the fed ones, converted; returns their numbers.
    std::vector<int> identify(const Bytes& got, CameraFormat f) {
        const size_t size = static_cast<size_t>(camera_stride(f, kW)) * kH;
        std::vector<Bytes> fed;
        for (int n = 0; n < kPictures; ++n)
            fed.push_back(converted(numbered_picture(n, kW, kH), f, kW, kH));
        std::vector<int> numbers;
        for (size_t at = 0; at + size <= got.size(); at += size) {
            int found = -1;
            for (int n = 0; n < kPictures; ++n)
                if (std::memcmp(got.data() + at, fed[n].data(), size) == 0) found = n;
            numbers.push_back(found);
        }
        return numbers;
    }

    static constexpr int kPictures = 40;  // distinct pictures before the feed repeats
    PipeWireDaemon daemon;
    std::string node = "wobble-test-camera";
    std::unique_ptr<VirtualCamera> camera;
    std::thread feeder;
    std::atomic<bool> quit{false};
};

TEST_F(PipeWireCamera, WithoutConsumerEveryPictureIsDroppedAtOnce) {
    const CameraPicture p = numbered_picture(0, kW, kH);
    for (int i = 0; i < 50; ++i) EXPECT_FALSE(camera->feed(p.bytes.data(), p.rowBytes, kW, kH));
    EXPECT_FALSE(camera->consumerConnected());
    EXPECT_EQ(camera->stats().dropped, 50);
    EXPECT_EQ(camera->stats().sent, 0);
    EXPECT_TRUE(camera->failure().empty());
}

struct FormatRow {
    const char* name;
    CameraFormat format;
};

void PrintTo(const FormatRow& row, std::ostream* os) {
    *os << row.name;
}

class PipeWireFormats : public PipeWireCamera, public ::testing::WithParamInterface<FormatRow> {};

// The consumer chooses the format; it gets the camera size and the fed pictures, in order.
TEST_P(PipeWireFormats, ConsumerGetsTheFedPicturesInItsFormat) {
    startFeeding();
    CameraConsumer consumer(daemon.dir(), "c");
    ASSERT_TRUE(consumer.start(node, GetParam().name, 6));
    ASSERT_EQ(consumer.wait(30s), 0) << consumer.log();
    EXPECT_EQ(camera->format(), GetParam().format);
    EXPECT_NE(consumer.log().find("width=(int)64, height=(int)48"), std::string::npos)
        << consumer.log();
    const std::vector<int> numbers = identify(consumer.bytes(), GetParam().format);
    ASSERT_EQ(numbers.size(), 6u);
    for (size_t i = 0; i < numbers.size(); ++i) {
        EXPECT_GE(numbers[i], 0) << "picture " << i << " is none of those fed";
        if (i > 0) {
            EXPECT_NE(numbers[i], numbers[i - 1]) << "picture " << i << " came twice";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Negotiated, PipeWireFormats,
                         ::testing::Values(FormatRow{"BGRx", CameraFormat::BGRx},
                                           FormatRow{"RGBx", CameraFormat::RGBx},
                                           FormatRow{"YUY2", CameraFormat::YUY2}),
                         [](const auto& info) { return std::string(info.param.name); });

// A consumer that comes late, leaves and comes back gets pictures each time; while nobody
// watches, the camera says so.
TEST_F(PipeWireCamera, LateConsumerLeavesAndReconnects) {
    startFeeding();
    std::this_thread::sleep_for(300ms);
    for (const char* tag : {"first", "second"}) {
        CameraConsumer consumer(daemon.dir(), tag);
        ASSERT_TRUE(consumer.start(node, "BGRx", 4));
        ASSERT_EQ(consumer.wait(30s), 0) << consumer.log();
        EXPECT_EQ(consumer.bytes().size(), 4u * kW * kH * 4) << tag;
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (camera->consumerConnected() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(10ms);
        EXPECT_FALSE(camera->consumerConnected()) << tag;
    }
    EXPECT_GE(camera->stats().sent, 8);
}

}  // namespace
