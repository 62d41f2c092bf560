#include "platform/linux/ScreenGrabber.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "platform/Drawing.h"
#include "platform/linux/ScreenRowCopy.h"

namespace platform::linux_x11 {
namespace {

constexpr unsigned long kAllPlanes = ~0UL;

// How one colour channel sits in a pixel value: shift right, then scale the remaining bits to 8.
struct Channel {
    int shift = 0;
    int bits = 0;

    explicit Channel(unsigned long mask) {
        if (mask != 0) {
            shift = std::countr_zero(mask);
            bits = std::popcount(mask);
        }
    }
    std::uint8_t Extract(unsigned long pixel) const {
        if (bits == 0) {
            return 0;
        }
        const unsigned long value = (pixel >> shift) & ((1UL << bits) - 1);
        return static_cast<std::uint8_t>(bits >= 8 ? value >> (bits - 8) : value * 255 / ((1UL << bits) - 1));
    }
};

bool IsLittleEndianBgrx(const XImage& image) {
    return image.bits_per_pixel == 32 && image.red_mask == 0xff0000 && image.green_mask == 0xff00 &&
           image.blue_mask == 0xff && image.byte_order == LSBFirst;
}

}  // namespace

ScreenGrabber::ScreenGrabber(ScreenConnection& screenConnection) : connection(screenConnection) {
    useSharedMemory = XShmQueryExtension(connection.Get()) == True;
}

ScreenGrabber::~ScreenGrabber() {
    DropSharedImage();
}

void ScreenGrabber::DropSharedImage() {
    if (!sharedImage) {
        return;
    }
    if (attached) {
        XShmDetach(connection.Get(), &segment);
        XSync(connection.Get(), False);
        attached = false;
    }
    sharedImage->data = nullptr;
    sharedImage.reset();
    if (segment.shmaddr != nullptr) {
        shmdt(segment.shmaddr);
    }
    segment = XShmSegmentInfo{};
}

bool ScreenGrabber::MakeSharedImage(int width, int height) {
    DropSharedImage();
    Display* display = connection.Get();
    const int screen = DefaultScreen(display);
    sharedImage.reset(XShmCreateImage(display, DefaultVisual(display, screen), DefaultDepth(display, screen),
                                      ZPixmap, nullptr, &segment, width, height));
    if (!sharedImage) {
        return false;
    }
    const auto bytes = static_cast<std::size_t>(sharedImage->bytes_per_line) * height;
    segment.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (segment.shmid < 0) {
        sharedImage.reset();
        return false;
    }
    void* address = shmat(segment.shmid, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(segment.shmid, IPC_RMID, nullptr);
        sharedImage.reset();
        segment = XShmSegmentInfo{};
        return false;
    }
    segment.shmaddr = static_cast<char*>(address);
    sharedImage->data = segment.shmaddr;
    segment.readOnly = False;
    const unsigned long errorsBefore = connection.ErrorCount();
    XShmAttach(display, &segment);
    XSync(display, False);
    attached = connection.ErrorCount() == errorsBefore && !connection.Broken();
    // Once the server holds the segment it may be marked for removal: it then goes away with its last user,
    // also when this process ends abnormally.
    shmctl(segment.shmid, IPC_RMID, nullptr);
    if (!attached) {
        DropSharedImage();
        return false;
    }
    return true;
}

const XImage* ScreenGrabber::Grab(int x, int y, int width, int height) {
    Display* display = connection.Get();
    const Window root = DefaultRootWindow(display);
    if (useSharedMemory) {
        const bool sizeFits = sharedImage && sharedImage->width == width && sharedImage->height == height;
        if (sizeFits || MakeSharedImage(width, height)) {
            if (XShmGetImage(display, root, sharedImage.get(), x, y, kAllPlanes) == True) {
                return sharedImage.get();
            }
            return nullptr;
        }
        if (connection.Broken()) {
            return nullptr;
        }
        // The server cannot share memory with this process (a remote display, for one).
        useSharedMemory = false;
    }
    plainImage.reset(XGetImage(display, root, x, y, static_cast<unsigned>(width),
                               static_cast<unsigned>(height), kAllPlanes, ZPixmap));
    return plainImage.get();
}

void WriteToSurface(const XImage& image, DrawingSurface& surface, int left, int top) {
    const int firstX = std::max(0, -left);
    const int firstY = std::max(0, -top);
    const int endX = std::min(image.width, surface.Width() - left);
    const int endY = std::min(image.height, surface.Height() - top);
    if (firstX >= endX || firstY >= endY) {
        return;
    }
    std::uint8_t* const bits = surface.Bits();
    const auto stride = static_cast<std::size_t>(surface.Stride());
    const int surfaceHeight = surface.Height();
    auto targetRow = [&](int y) {
        return bits + static_cast<std::size_t>(surfaceHeight - 1 - (top + y)) * stride +
               static_cast<std::size_t>(left + firstX) * kBytesPerPixel;
    };

    if (IsLittleEndianBgrx(image)) {
        for (int y = firstY; y < endY; ++y) {
            const auto* source = reinterpret_cast<const std::uint8_t*>(image.data) +
                                 static_cast<std::size_t>(y) * image.bytes_per_line + std::size_t{4} * firstX;
            CopyBgrxRow(source, endX - firstX, targetRow(y));
        }
        return;
    }
    const Channel red(image.red_mask);
    const Channel green(image.green_mask);
    const Channel blue(image.blue_mask);
    auto& readable = const_cast<XImage&>(image);  // XGetPixel takes a non-const image but only reads it
    for (int y = firstY; y < endY; ++y) {
        std::uint8_t* target = targetRow(y);
        for (int x = firstX; x < endX; ++x) {
            const unsigned long pixel = XGetPixel(&readable, x, y);
            target[0] = blue.Extract(pixel);
            target[1] = green.Extract(pixel);
            target[2] = red.Extract(pixel);
            target += kBytesPerPixel;
        }
    }
}

}  // namespace platform::linux_x11
