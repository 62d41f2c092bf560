#pragma once

#include <QString>

#include "ui/DialogMessages.h"

// A control of a registered class (the link): it takes messages and keeps a window text of its own.
class CustomControl : public MessageTarget {
public:
    virtual void SetWindowText(const QString& text) = 0;
    virtual QString WindowText() const = 0;
};
