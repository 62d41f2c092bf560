#include "ui/ControlPanelTemplate.h"

#include "ui/LinkState.h"

namespace {

using namespace control_style;

constexpr std::uint32_t kEditStyle = kBorder | kTabStop | kAutoHorizontalScroll;

constexpr const char* kPanelFontFamily = "ＭＳ Ｐゴシック";
constexpr int kPanelFontPoints = 9;
constexpr std::uint32_t kPanelStyle = dialog_style::kCaption | dialog_style::kSystemMenu |
                                      dialog_style::kMinimizeBox | dialog_style::kModalFrame;

constexpr ControlTemplate kControls[kControlPanelControlCount] = {
    {IDOK, kButtonClass, "開始", kDefaultPushButton | kTabStop, 130, 19, 50, 14},
    {IDC_PORT, kEditClass, "", kEditStyle, 57, 15, 40, 14},
    {kNoControlId, kStaticClass, "ポート：", kGroup, 31, 19, 22, 8},
    {IDC_QUALITY, kEditClass, "", kEditStyle, 57, 33, 40, 14},
    {IDC_QUALITYLABEL, kStaticClass, "Jpeg圧縮品質：", kGroup, 7, 35, 46, 8},
    {kNoControlId, kStaticClass, "(0-100)", kGroup, 99, 37, 23, 8},
    {IDC_STOP, kButtonClass, "停止", kPushButton | kTabStop, 130, 35, 50, 14},
    {IDC_USER, kEditClass, "", kEditStyle, 19, 191, 56, 14},
    {IDC_PASSWORD, kEditClass, "", kEditStyle | kPassword, 76, 191, 56, 14},
    {IDC_REALM, kEditClass, "", kEditStyle, 19, 162, 113, 14},
    {IDC_AUTH, kButtonClass, "認証を要求する", kAutoCheckBox | kTabStop, 15, 137, 62, 10},
    {kNoControlId, kButtonClass, "認証", kGroupBox, 7, 121, 144, 92},
    {kNoControlId, kStaticClass, "メッセージ", kGroup, 18, 151, 31, 8},
    {kNoControlId, kStaticClass, "ユーザ名", kGroup, 19, 180, 28, 8},
    {kNoControlId, kStaticClass, "パスワード", kGroup, 76, 180, 32, 8},
    {IDC_CLICK, kButtonClass, "クリックを有効にする", kAutoCheckBox | kTabStop, 13, 75, 73, 10},
    {IDC_VERSIONLINK, kLinkClassName, "Version 0.2", kTabStop, 141, 7, 39, 9},
    {kNoControlId, kButtonClass, "表示対象", kGroupBox, 7, 216, 144, 62},
    {IDC_DESKTOP, kButtonClass, "デスクトップ", kAutoRadioButton, 14, 229, 51, 10},
    {IDC_ACTIVEWINDOW, kButtonClass, "アクティブウインドウ", kAutoRadioButton, 14, 241, 74, 10},
    {kNoControlId, kStaticClass, "ｳｲﾝﾄﾞｳｸﾗｽ", kGroup, 13, 259, 35, 8},
    {IDC_WINCLASS, kEditClass, "", kEditStyle, 51, 255, 90, 14},
    {IDC_SCALEDOWN, kButtonClass, "縮小して表示", kAutoCheckBox | kTabStop, 89, 75, 55, 10},
    {IDC_HITCOUNT, kStaticClass, "", kGroup | kRightAligned, 154, 53, 26, 8},
    {IDC_DRAWTIME, kButtonClass, "時刻を表示", kAutoCheckBox | kTabStop, 13, 86, 49, 10},
    {IDC_PRIORITY, kSliderClass, "Slider1", kAutoTicks | kTicksTop | kTabStop, 87, 95, 46, 26},
    {kNoControlId, kStaticClass, "画像圧縮ｽﾚｯﾄﾞの優先度", kGroup, 13, 105, 73, 8},
    {IDC_PRIORITYNAME, kStaticClass, "", kGroup, 134, 105, 41, 8},
    {IDC_MINREMAKE, kEditClass, "", kEditStyle, 57, 51, 40, 14},
    {IDC_MINREMAKELABEL, kStaticClass, "最短更新時間：", kGroup, 7, 54, 46, 8},
    {kNoControlId, kStaticClass, "秒", kGroup, 101, 55, 8, 8},
    {IDC_RESOLVE, kButtonClass, "ホスト名を解決する", kAutoCheckBox | kTabStop, 7, 285, 97, 10},
    {IDC_TEMPLATELINK, kLinkClassName, "テンプレートを使用", kTabStop, 86, 227, 58, 9},
};

constexpr DialogTemplate kControlPanel{"ORV QV Server",  kPanelStyle,      187,      315,
                                       kPanelFontFamily, kPanelFontPoints, kControls};

}  // namespace

const DialogTemplate& ControlPanelTemplate() {
    return kControlPanel;
}
