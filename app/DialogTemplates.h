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

struct DialogTemplate {
    int id;
    const char* caption;
    QSize du;
    std::span<const DialogItem> items;
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

// The item with `id` in `tmpl`, or null.
const DialogItem* FindItem(const DialogTemplate& tmpl, int id);

// Dialog units to pixels with the base units of the panel's font (7 by 13 pixels per 4 by 8
// units), rounded to the nearest pixel.
constexpr int DuToPixelsX(int du) {
    return (du * 7 + 2) / 4;
}
constexpr int DuToPixelsY(int du) {
    return (du * 13 + 4) / 8;
}
inline QRect DuToPixels(const QRect& du) {
    return QRect(DuToPixelsX(du.x()), DuToPixelsY(du.y()), DuToPixelsX(du.width()),
                 DuToPixelsY(du.height()));
}
inline QSize DuToPixels(const QSize& du) {
    return QSize(DuToPixelsX(du.width()), DuToPixelsY(du.height()));
}
