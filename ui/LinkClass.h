#pragma once

#include "ui/DialogBackend.h"

// The link class as the control panel sees it: the maker of the one underlined font that every link
// paints with.
class LinkClass {
  public:
    virtual ~LinkClass() = default;
    // The link font becomes font, underlined; none (null) makes links paint with their default font.
    virtual void CreateLinkFont(const DialogFont* font) = 0;
};
