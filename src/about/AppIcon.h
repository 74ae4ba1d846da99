#pragma once
// The program's picture, drawn by code so the about box, the window icon and
// the desktop entry's icon file share one source.

#include <QIcon>
#include <QImage>

namespace kestro {

// A square picture of size x size pixels: a meter display with a level curve.
QImage kestroAppImage(int size);
// The picture at the usual icon sizes.
QIcon kestroAppIcon();

}  // namespace kestro
