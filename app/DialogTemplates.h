#pragma once

// The program's two dialog templates as data: item ids, kinds, texts and positions in dialog
// units, in template (tab and stacking) order.

#include <QRect>
#include <QSize>

#include <span>

enum class DialogItemKind {
    DisplayControl,  // the segment display, created by class identifier
    KeyButton,       // owner-drawn picture button
    GroupBox,
    StatusLine,  // sunken static, text centred vertically
    PortList,    // editable drop-down
    Label,
    PushButton,
    DefaultPushButton,
    Icon,
};

struct DialogItem {
    int id;  // -1 for items the code never addresses
    DialogItemKind kind;
    const char* text;
    QRect du;  // x, y, width, height in dialog units
};

// A font's average character width and height in pixels.
struct BaseUnits {
    int x;
    int y;
};

struct DialogTemplate {
    int id;
    const char* caption;
    QSize du;
    std::span<const DialogItem> items;
    // Of the template's font at 96 dpi: MS Sans Serif 10 pt is 7 by 13 pixels, 8 pt 6 by 13.
    BaseUnits base;
};

inline constexpr int kIdDisplay = 1000;
inline constexpr int kIdKeyData = 1001;
inline constexpr int kIdKeyMode = 1002;
inline constexpr int kIdKeyTare = 1003;
inline constexpr int kIdKeyOnOff = 1004;
inline constexpr int kIdPortList = 1006;
inline constexpr int kIdOpenClose = 1007;
inline constexpr int kIdStatus = 1008;
inline constexpr int kIdLamp = 1009;
inline constexpr int kIdOk = 1;
inline constexpr int kIdAboutIcon = 2000;
inline constexpr int kIdAboutVersion = 2001;
inline constexpr int kIdAboutSecondLine = 2002;

const DialogTemplate& PanelTemplate();  // template 102
const DialogTemplate& AboutTemplate();  // template 100

// Converts dialog units to pixels with a font's base units (pixels per 4 horizontal and per 8
// vertical dialog units), rounded to the nearest pixel.
constexpr int DuToPixelsX(int du, BaseUnits base) {
    return (du * base.x + 2) / 4;
}
constexpr int DuToPixelsY(int du, BaseUnits base) {
    return (du * base.y + 4) / 8;
}
// Each edge is converted on its own and the size taken from the converted edges.
inline QRect DuToPixels(const QRect& du, BaseUnits base) {
    const int left = DuToPixelsX(du.x(), base);
    const int top = DuToPixelsY(du.y(), base);
    return QRect(left, top, DuToPixelsX(du.x() + du.width(), base) - left,
                 DuToPixelsY(du.y() + du.height(), base) - top);
}
inline QSize DuToPixels(const QSize& du, BaseUnits base) {
    return QSize(DuToPixelsX(du.width(), base), DuToPixelsY(du.height(), base));
}
