#include "ui/FileChooser.h"

char* FileChooser::ChooseOpenFile(DialogWindow owner, char* buffer, std::size_t size, const char* title,
                                  std::span<const FileFilter> filters) {
    DialogBackend* backend = owner.Backend();
    if (backend == nullptr || size == 0) {
        return nullptr;
    }
    return backend->ChooseOpenFile(buffer, size, title, filters) ? buffer : nullptr;
}
