#pragma once

#include "ui/DialogTemplate.h"

// The control panel's dialog: its control ids and its template.

inline constexpr int IDC_STATUSBAR = 100;  // created at run time, not part of the template
inline constexpr int IDC_PORT = 1000;
inline constexpr int IDC_QUALITY = 1001;
inline constexpr int IDC_STOP = 1002;
inline constexpr int IDC_USER = 1003;
inline constexpr int IDC_PASSWORD = 1004;
inline constexpr int IDC_REALM = 1005;
inline constexpr int IDC_AUTH = 1006;
inline constexpr int IDC_CLICK = 1007;
inline constexpr int IDC_MINREMAKE = 1008;
inline constexpr int IDC_VERSIONLINK = 1011;
inline constexpr int IDC_QUALITYLABEL = 1012;
inline constexpr int IDC_DESKTOP = 1013;
inline constexpr int IDC_ACTIVEWINDOW = 1014;
inline constexpr int IDC_WINCLASS = 1015;
inline constexpr int IDC_SCALEDOWN = 1016;
inline constexpr int IDC_HITCOUNT = 1017;
inline constexpr int IDC_DRAWTIME = 1018;
inline constexpr int IDC_PRIORITY = 1019;
inline constexpr int IDC_PRIORITYNAME = 1020;
inline constexpr int IDC_MINREMAKELABEL = 1021;
inline constexpr int IDC_RESOLVE = 1022;
inline constexpr int IDC_TEMPLATELINK = 1023;

inline constexpr int kControlPanelControlCount = 33;

const DialogTemplate& ControlPanelTemplate();
