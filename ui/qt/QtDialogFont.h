#pragma once

#include <QFont>

// A dialog's font as the Qt backend hands it out by control.
struct DialogFont {
    QFont font;
};
