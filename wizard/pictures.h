// The wizard's two pictures, drawn at run time.
#pragma once

#include <QPixmap>

namespace verilo {

// 48 x 48 monochrome emblem: a check mark in a square box.
QPixmap EmblemPicture();

// 24 x 24 black check mark on a transparent ground.
QPixmap CheckMarkPicture();

}  // namespace verilo
