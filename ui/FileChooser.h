#pragma once

#include <cstddef>
#include <span>

#include "ui/DialogBackend.h"
#include "ui/DialogWindow.h"

// The toolkit's file-open dialog for one existing file, with a filter list whose first pair is selected.
class FileChooser {
  public:
    // On entry buffer holds the file name offered first. Returns buffer holding the chosen path, or null
    // when the user cancelled or the dialog failed.
    char* ChooseOpenFile(DialogWindow owner, char* buffer, std::size_t size, const char* title,
                         std::span<const FileFilter> filters);
};
