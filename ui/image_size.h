// The pixel size of an image file, for the image watermark's width and height fields.
#pragma once

#include <QSize>
#include <QString>

namespace ui {

// An invalid size when the file cannot be read.
QSize ImagePixelSize(const QString& path);

} // namespace ui
