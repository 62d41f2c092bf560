#pragma once

#include <QString>

#include "ui/DialogMessages.h"

// A control of a registered class (the link): it takes link messages and keeps a window text of its own.
class CustomControl {
  public:
    virtual ~CustomControl() = default;
    virtual void Receive(const LinkMessage& message) = 0;
    virtual void SetWindowText(const QString& text) = 0;
    virtual QString WindowText() const = 0;
};
