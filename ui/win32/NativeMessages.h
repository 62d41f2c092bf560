#pragma once

#include "ui/win32/WindowsApi.h"

#include "ui/DialogMessages.h"

// The native numbers of the typed dialog and link messages. Each typed message carries the number of the
// dialog manager's message it stands for; these checks keep the two lists one to one.

inline constexpr UINT kWorkerNotifyMessage = WM_APP + 1;
inline constexpr UINT LCM_ALIGNLEFT = WM_USER + 10;
inline constexpr UINT LCM_ALIGNRIGHT = WM_USER + 11;
// To a link: wParam the window to notify (none: clicks open the target), lParam the id to notify with.
// From a link to that window: wParam the link, lParam the id.
inline constexpr UINT LCM_NOTIFY = WM_USER + 199;

static_assert(static_cast<UINT>(DialogMessageId::Destroy) == WM_DESTROY);
static_assert(static_cast<UINT>(DialogMessageId::SetFont) == WM_SETFONT);
static_assert(static_cast<UINT>(DialogMessageId::InitDialog) == WM_INITDIALOG);
static_assert(static_cast<UINT>(DialogMessageId::Command) == WM_COMMAND);
static_assert(static_cast<UINT>(DialogMessageId::HorizontalScroll) == WM_HSCROLL);
static_assert(static_cast<UINT>(DialogMessageId::LinkClicked) == LCM_NOTIFY);
static_assert(static_cast<UINT>(DialogMessageId::WorkerNotify) == kWorkerNotifyMessage);
static_assert(static_cast<UINT>(LinkMessageId::AlignLeft) == LCM_ALIGNLEFT);
static_assert(static_cast<UINT>(LinkMessageId::AlignRight) == LCM_ALIGNRIGHT);
static_assert(static_cast<UINT>(LinkMessageId::SetNotify) == LCM_NOTIFY);
