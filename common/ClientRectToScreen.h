#pragma once

#include "common/Geometry.h"

// Converts a window's client rectangle to screen coordinates in place: first its top-left corner, then its
// bottom-right corner, each through the window's own client-to-screen mapping.
template <class ClientToScreen>
void ClientRectToScreen(Rect& rect, ClientToScreen&& clientToScreen) {
    const Point topLeft = clientToScreen(Point{rect.left, rect.top});
    const Point bottomRight = clientToScreen(Point{rect.right, rect.bottom});
    rect = Rect{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}
