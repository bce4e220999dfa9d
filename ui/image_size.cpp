#include "ui/image_size.h"

#include "app/input_info.h"

namespace ui {

QSize ImagePixelSize(const QString& path) {
  // The engine's own reading of the file, as the run will see it.
  app::InputDescription d = app::DescribeInput(path.toStdString());
  if (!d.ok || d.width <= 0 || d.height <= 0) return {};
  return QSize(d.width, d.height);
}

} // namespace ui
