#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "FakeDialogToolkit.h"
#include "service/CaptureService.h"
#include "tests/support/TempDir.h"
#include "ui/ControlPanel.h"
#include "ui/ControlPanelTemplate.h"
#include "ui/LinkClass.h"

// Records what the panel asks of the link class.
class RecordingLinkClass final : public LinkClass {
  public:
    void CreateLinkFont(const DialogFont* font) override {
        ++fontsMade;
        lastFont = font;
    }
    int fontsMade = 0;
    const DialogFont* lastFont = nullptr;
};

// A control panel over the fake toolkit, with its executable and working files in a fresh folder.
class PanelFixture : public testing::Test {
  protected:
    PanelFixture()
        : executablePath(folder.File("qvserver")),
          service(executablePath),
          panel(service, links, executablePath) {}

    // Runs the panel; script plays the user and should end the dialog. Returns the dialog's result.
    int Run(std::function<void(FakeDialogWindow&)> script) {
        toolkit.script = std::move(script);
        return panel.RunModal(toolkit, ControlPanelTemplate(), 0);
    }
    void Close(FakeDialogWindow& dialog) { dialog.Send(dialog_message::Command{IDCANCEL}); }
    std::string CurrentIni() const { return TempDir::ReadFile(folder.File("current.ini")); }
    void WriteCurrentIni(const std::string& text) const {
        TempDir::WriteFile(folder.File("current.ini"), text);
    }

    TempDir folder;
    std::string executablePath;
    CaptureService service;
    RecordingLinkClass links;
    ControlPanel panel;
    FakeDialogToolkit toolkit;
};
