#pragma once

// Who may read the files the program writes, in Windows access lists. An access list is given to a file
// when it is created (Wine keeps no list set later on an existing file, it maps lists to Unix modes), so a
// file that must change its readers is written anew.

#include <windows.h>

namespace platform::windows {

// A security descriptor whose access list lets only the current user at a file (nothing inherited from
// the folder), as a file of mode 0600 on Linux. Get() is null when it could not be made.
class OwnerOnlySecurity {
  public:
    OwnerOnlySecurity();
    ~OwnerOnlySecurity();
    OwnerOnlySecurity(const OwnerOnlySecurity&) = delete;
    OwnerOnlySecurity& operator=(const OwnerOnlySecurity&) = delete;
    PSECURITY_DESCRIPTOR Get() const { return descriptor; }

  private:
    PSECURITY_DESCRIPTOR descriptor = nullptr;
};

}  // namespace platform::windows
