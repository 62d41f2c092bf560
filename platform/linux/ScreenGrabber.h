#pragma once

// Reads rectangles of the root window's pixels: through a shared-memory image kept between reads when the
// server offers MIT-SHM (the image is made anew only when the size changes), through plain XGetImage
// otherwise. Used by one thread at a time, like its connection.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <memory>

#include "platform/linux/ScreenConnection.h"

namespace platform {
class DrawingSurface;
}

namespace platform::linux_x11 {

class ScreenGrabber {
  public:
    explicit ScreenGrabber(ScreenConnection& connection);
    ~ScreenGrabber();
    ScreenGrabber(const ScreenGrabber&) = delete;
    ScreenGrabber& operator=(const ScreenGrabber&) = delete;

    // The pixels of the rectangle, which must lie inside the root window; null on failure. The image stays
    // valid until the next Grab.
    const XImage* Grab(int x, int y, int width, int height);

  private:
    struct ImageDeleter {
        void operator()(XImage* image) const { XDestroyImage(image); }
    };

    bool MakeSharedImage(int width, int height);
    void DropSharedImage();

    ScreenConnection& connection;
    bool useSharedMemory = false;
    std::unique_ptr<XImage, ImageDeleter> sharedImage;
    XShmSegmentInfo segment{};
    bool attached = false;
    std::unique_ptr<XImage, ImageDeleter> plainImage;
};

// Writes the image's pixels into the surface with the image's top-left corner at (left, top) of the
// picture, clipped to the surface. The pixel layout is read from the image's masks and depth.
void WriteToSurface(const XImage& image, DrawingSurface& surface, int left, int top);

}  // namespace platform::linux_x11
