// SPDX-License-Identifier: MIT
// The virtual camera against a real PipeWire daemon and GStreamer's pipewiresrc, and its
// conversions and refusals without one.
#include "virtual_camera.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <random>
#include <thread>

#include "camera_feed.h"
#include "pipewire_daemon.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

// An R, G, B, X picture whose bytes are byte(0), byte(1), ...
CameraPicture picture(int w, int h, const std::function<uint8_t(size_t)>& byte) {
    CameraPicture p{Bytes(4 * static_cast<size_t>(w) * h), w, h, 4 * w};
    for (size_t i = 0; i < p.bytes.size(); ++i) p.bytes[i] = byte(i);
    return p;
}

// Picture n of a test feed: every byte depends on n.
CameraPicture numbered_picture(int n, int w, int h) {
    std::mt19937 rng(static_cast<unsigned>(n) + 1);
    return picture(w, h, [&](size_t) { return static_cast<uint8_t>(rng()); });
}

Bytes converted(const CameraPicture& p, CameraFormat f, int w, int h) {
    Bytes out(static_cast<size_t>(camera_stride(f, w)) * h);
    PictureConverter c;
    EXPECT_TRUE(c.convert(p, f, out.data(), camera_stride(f, w), w, h));
    return out;
}

TEST(PictureMailbox, KeepsOnlyTheNewestPictureAndNeverWritesOverTheOneBeingRead) {
    PictureMailbox box;
    const CameraPicture a = numbered_picture(1, 4, 2), b = numbered_picture(2, 4, 2);
    EXPECT_FALSE(box.put(a.bytes.data(), a.rowBytes, 4, 2));
    EXPECT_TRUE(box.put(b.bytes.data(), b.rowBytes, 4, 2));  // a was never taken
    EXPECT_EQ(box.take()->bytes, b.bytes);
    EXPECT_EQ(box.take(), nullptr);
    box.release();
    EXPECT_TRUE(box.idle());
    EXPECT_FALSE(box.put(a.bytes.data(), a.rowBytes, 4, 2));
    const CameraPicture* got = box.take();
    EXPECT_FALSE(box.put(b.bytes.data(), b.rowBytes, 4, 2));  // while a is being read
    EXPECT_EQ(got->bytes, a.bytes);
    EXPECT_FALSE(box.idle());
    box.release();
}

struct ConvertRow {
    const char* name;
    CameraFormat format;
    int scale;     // the camera's size over the 8 x 4 picture's
    Bytes rgb;     // of every source pixel
    Bytes expect;  // of every destination pixel (YUY2: pair of pixels)
    friend void PrintTo(const ConvertRow& row, std::ostream* os) { *os << row.name; }
};

class Convert : public ::testing::TestWithParam<ConvertRow> {};

// A uniform picture stays uniform through scaling; the bytes follow the format's order.
TEST_P(Convert, WritesTheFormatsByteOrder) {
    const ConvertRow& row = GetParam();
    const CameraPicture p = picture(8, 4, [&](size_t i) { return i % 4 < 3 ? row.rgb[i % 4] : 0; });
    const Bytes out = converted(p, row.format, 8 * row.scale, 4 * row.scale);
    for (size_t i = 0; i < out.size(); i += row.expect.size())
        ASSERT_EQ(Bytes(out.begin() + i, out.begin() + i + row.expect.size()), row.expect) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, Convert,
    ::testing::Values(
        ConvertRow{"BGRxSameSize", CameraFormat::BGRx, 1, {10, 20, 30}, {30, 20, 10, 0xFF}},
        ConvertRow{"RGBxSameSize", CameraFormat::RGBx, 1, {10, 20, 30}, {10, 20, 30, 0xFF}},
        ConvertRow{"RGBxHalfScaledUp", CameraFormat::RGBx, 2, {10, 20, 30}, {10, 20, 30, 0xFF}},
        ConvertRow{"BGRxThirdScaled", CameraFormat::BGRx, 3, {10, 20, 30}, {30, 20, 10, 0xFF}},
        ConvertRow{"YUY2White", CameraFormat::YUY2, 1, {255, 255, 255}, {235, 128, 235, 128}},
        ConvertRow{"YUY2BlackHalf", CameraFormat::YUY2, 2, {0, 0, 0}, {16, 128, 16, 128}}),
    [](const auto& info) { return std::string(info.param.name); });

// Half size doubled: source pixels at even places, the means of neighbours between them.
TEST(Convert, HalfSizeIsDoubledWithMeans) {
    const CameraPicture p{
        {0, 10, 20, 0, 100, 111, 121, 0, 200, 10, 20, 0, 100, 111, 121, 0}, 2, 2, 8};
    const Bytes row0 = {0, 10, 20, 255, 50, 61, 71, 255, 100, 111, 121, 255, 100, 111, 121, 255};
    const Bytes row1 = {100, 10, 20, 255, 100, 61, 71, 255, 100, 111, 121, 255, 100, 111, 121, 255};
    const Bytes row2 = {200, 10, 20, 255, 150, 61, 71, 255, 100, 111, 121, 255, 100, 111, 121, 255};
    Bytes want;
    for (const Bytes* row : {&row0, &row1, &row2, &row2})
        want.insert(want.end(), row->begin(), row->end());
    EXPECT_EQ(converted(p, CameraFormat::RGBx, 4, 4), want);
}

struct DeviceRow {
    const char* name;
    const char* path;
    const char* why;
    friend void PrintTo(const DeviceRow& row, std::ostream* os) { *os << row.name; }
};

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
    // The number of the fed picture each received one is, converted; -1: none of them.
    std::vector<int> identify(const Bytes& got, CameraFormat f) {
        const size_t size = static_cast<size_t>(camera_stride(f, kW)) * kH;
        std::vector<int> numbers;
        for (size_t at = 0; at + size <= got.size(); at += size) {
            numbers.push_back(-1);
            for (int n = 0; n < kPictures; ++n)
                if (Bytes(got.begin() + at, got.begin() + at + size) ==
                    converted(numbered_picture(n, kW, kH), f, kW, kH))
                    numbers.back() = n;
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

struct FormatRow {
    const char* name;
    CameraFormat format;
    friend void PrintTo(const FormatRow& row, std::ostream* os) { *os << row.name; }
};

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
        EXPECT_TRUE(i == 0 || numbers[i] != numbers[i - 1]) << "picture " << i << " came twice";
    }
}

INSTANTIATE_TEST_SUITE_P(Negotiated, PipeWireFormats,
                         ::testing::Values(FormatRow{"BGRx", CameraFormat::BGRx},
                                           FormatRow{"RGBx", CameraFormat::RGBx},
                                           FormatRow{"YUY2", CameraFormat::YUY2}),
                         [](const auto& info) { return std::string(info.param.name); });

// Before any consumer every picture is dropped at once; a consumer that comes late, leaves and
// comes back gets pictures each time; while nobody watches, the camera says so.
TEST_F(PipeWireCamera, LateConsumerLeavesAndReconnects) {
    const CameraPicture p = numbered_picture(0, kW, kH);
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(camera->feed(p.bytes.data(), p.rowBytes, kW, kH));
    EXPECT_FALSE(camera->consumerConnected());
    EXPECT_EQ(camera->stats().dropped, 5);
    EXPECT_EQ(camera->stats().sent, 0);
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
    EXPECT_TRUE(camera->failure().empty());
}

}  // namespace
