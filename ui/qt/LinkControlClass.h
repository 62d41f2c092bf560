#pragma once

#include <QFont>
#include <optional>

#include "ui/LinkClass.h"

class QtDialogToolkit;

// The link control's class: registers it with a toolkit by name and keeps the underlined font that all
// of its links paint with. Lives longer than every link it makes.
class LinkControlClass : public LinkClass {
  public:
    // 1 when registered, -1 when the name was taken already.
    virtual int Register(QtDialogToolkit& toolkit, const char* className);
    void CreateLinkFont(const DialogFont* font) override;
    // Null until CreateLinkFont has made one.
    const QFont* LinkFont() const { return linkFont ? &*linkFont : nullptr; }

  private:
    std::optional<QFont> linkFont;
};
