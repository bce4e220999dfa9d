#include "ui/image_size.h"

#include <QImageReader>

namespace ui {

QSize ImagePixelSize(const QString& path) {
  QImageReader reader(path);
  return reader.size();
}

} // namespace ui
