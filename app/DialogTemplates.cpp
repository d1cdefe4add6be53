#include "app/DialogTemplates.h"

namespace {

using K = DialogItemKind;

constexpr DialogItem kPanelItems[] = {
    {kIdDisplay, K::DisplayControl, "", QRect(107, 27, 205, 62)},
    {kIdKeyData, K::KeyButton, "", QRect(103, 107, 40, 40)},
    {kIdKeyMode, K::KeyButton, "", QRect(161, 107, 40, 40)},
    {kIdKeyTare, K::KeyButton, "", QRect(219, 107, 40, 40)},
    {kIdKeyOnOff, K::KeyButton, "", QRect(277, 107, 40, 40)},
    {-1, K::GroupBox, "", QRect(100, 19, 218, 75)},
    {-1, K::GroupBox, "MODE: Karvel Serial Scale", QRect(95, 4, 231, 160)},
    {kIdStatus, K::StatusLine, "", QRect(3, 167, 235, 18)},
    {kIdPortList, K::PortList, "", QRect(36, 17, 48, 121)},
    {-1, K::Label, "PORT:", QRect(11, 19, 21, 8)},
    {kIdOpenClose, K::PushButton, "OPEN", QRect(42, 143, 41, 15)},
    {kIdLamp, K::Icon, "", QRect(13, 140, 20, 20)},
    {-1, K::GroupBox, "Serial Port Setting", QRect(3, 4, 87, 160)},
};

constexpr DialogItem kAboutItems[] = {
    {kIdAboutIcon, K::Icon, "", QRect(11, 17, 20, 20)},
    {kIdAboutVersion, K::Label, "Karvel Version 1.0", QRect(40, 10, 119, 8)},
    {kIdAboutSecondLine, K::Label, "Serial scale panel " KARVEL_VERSION, QRect(40, 25, 119, 8)},
    {kIdOk, K::DefaultPushButton, "OK", QRect(178, 7, 50, 14)},
};

const DialogTemplate kPanel{102, "Karvel", QSize(329, 188), kPanelItems, {7, 13}};
const DialogTemplate kAbout{100, "About Karvel", QSize(235, 55), kAboutItems, {6, 13}};

}  // namespace

const DialogTemplate& PanelTemplate() {
    return kPanel;
}

const DialogTemplate& AboutTemplate() {
    return kAbout;
}
