// The program's own artwork, drawn at start-up: the toolbar pictures in their three forms, the
// About picture and the window icon.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

#include <vector>

namespace ToolbarArt {

// Button pictures in toolbar order: connection indicator, Open, Save, Read Device, Program
// Device, Access Test Data, Calibration Mode.
inline constexpr int kButtonCount = 7;
enum class Look { Normal, Hot, Disabled };
std::vector<QPixmap> ButtonImages(Look look);

// The About picture drawn at `size` (its natural size is 680 x 529).
inline constexpr QSize kAboutSize{680, 529};
QPixmap AboutPicture(QSize size);

QIcon AppIcon();

} // namespace ToolbarArt
