// SPDX-License-Identifier: MIT
// What both virtual cameras share: the mailbox that takes pictures from the drawing thread
// without waiting, and the conversion to the camera's size and format.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "virtual_camera.h"

// One picture as drawn: R, G, B, X per pixel, rows rowBytes apart.
struct CameraPicture {
    std::vector<uint8_t> bytes;
    int width = 0, height = 0;  // pixels
    int rowBytes = 0;           // bytes
};

// Three slots: one the feeding thread writes, one the camera's thread reads, one holding the
// newest picture not taken yet. Exactly one thread puts and one thread takes; the lock is held
// only to swap slot numbers, never while bytes are copied.
class PictureMailbox {
public:
    // Copies the picture into a free slot and makes it the newest. Returns true when an older
    // picture that had not been taken was dropped for it.
    bool put(const uint8_t* data, int rowBytes, int width, int height);
    // The newest picture not taken yet, or null; it stays valid until release().
    const CameraPicture* take();
    void release();
    // No picture waits and none is being read.
    bool idle() const;
    // Drops a waiting picture; true when there was one.
    bool clear();

private:
    CameraPicture slots_[3];
    mutable std::mutex lock_;
    int ready_ = -1, reading_ = -1;  // slot numbers, -1 for none
};

// Scales and converts pictures. A picture that already has the camera size goes out byte for
// byte in BGRx and RGBx, its unshown byte set to 0xFF; one of exactly half the camera size is
// doubled by linear interpolation; anything else goes through libswscale (bilinear). One
// instance per thread.
class PictureConverter {
public:
    PictureConverter();
    ~PictureConverter();
    PictureConverter(const PictureConverter&) = delete;
    PictureConverter& operator=(const PictureConverter&) = delete;

    // Writes the picture at dw x dh pixels in `format` to dst, rows dstStride bytes apart.
    // False when libswscale cannot convert between these sizes (nothing is written then).
    bool convert(const CameraPicture& src, CameraFormat format, uint8_t* dst, int dstStride, int dw,
                 int dh);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Bytes per row of a picture `width` pixels wide in `format`, a multiple of 4.
int camera_stride(CameraFormat format, int width);

// The counters every camera keeps; written from both threads.
struct CameraCounters {
    std::atomic<long long> fed{0}, sent{0}, dropped{0};
    VirtualCamera::Stats get() const { return {fed.load(), sent.load(), dropped.load()}; }
};
