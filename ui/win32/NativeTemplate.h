#pragma once

#include "ui/win32/WindowsApi.h"

#include <cstdint>
#include <vector>

#include "ui/DialogTemplate.h"

// A dialog template as the dialog manager reads it: a DLGTEMPLATEEX followed by one DLGITEMTEMPLATEEX per
// control, in template order, every text in UTF-16. The standard classes go by their atoms, the others
// (trackbar, link) by name.
class NativeTemplate {
  public:
    explicit NativeTemplate(const DialogTemplate& dialogTemplate);
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words.data()); }
    std::size_t Bytes() const { return words.size() * sizeof(WORD); }

  private:
    void Word(unsigned value) { words.push_back(static_cast<WORD>(value)); }
    void DoubleWord(std::uint32_t value);
    void Text(const char* utf8);
    void AlignToDoubleWord();

    std::vector<WORD> words;
};

// The window styles of a control and of the dialog itself, from the template's style bits.
DWORD NativeControlStyle(const ControlTemplate& control);
DWORD NativeDialogStyle(std::uint32_t style);
