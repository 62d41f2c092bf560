#pragma once

class CaptureService;

// The headless host's counterpart of the control panel: settings come from the settings file straight
// into the service, with the keys, defaults and value encodings the panel uses, and without ever writing
// the file back.
namespace headless {

// Puts the settings of the file at iniPath (defaults for what is missing) into the service, as the panel's
// Start would after loading them, capture priority included. Returns the port to start on.
int LoadSettingsIntoService(CaptureService& service, const char* iniPath);

// Replaces the snapshot next to the executable with a copy of the start-up picture, as the panel does when
// it opens; missing files are not reported.
void ShowStartupPicture(const CaptureService& service);

}  // namespace headless
