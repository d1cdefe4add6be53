#pragma once

// The program's own resources (icons, key faces, strings, saved control state), looked up by the
// numbers the panel's code uses.

#include <QIcon>
#include <QPixmap>
#include <QString>

#include <cstdint>
#include <vector>

namespace resources {

inline constexpr int kIconApp = 128;
inline constexpr int kIconLampLit = 130;
inline constexpr int kIconLampDark = 131;
inline constexpr int kBitmapFirstKeyFace = 132;  // key k: 132 + 2k released, 133 + 2k pressed
inline constexpr int kStringAboutItem = 101;

// Makes the resources linked into the panel library available; safe to call more than once.
void Init();

// Icon `id` in both of its sizes, each also drawn at twice the density; a null icon when there
// is none.
QIcon LoadIcon(int id);
// Bitmap `id`, at twice the resolution (device pixel ratio 2) when the screen is denser than
// 1x; a null pixmap when there is none.
QPixmap LoadBitmap(int id);
// String `id`; empty when there is none.
QString LoadString(int id);
// The saved state of the panel's display control (version, extent, stock-property mask).
std::vector<std::uint8_t> PanelDisplayState();

}  // namespace resources
