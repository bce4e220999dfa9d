// Small helpers shared by the pages: naming controls for screen readers and tests, and the
// colour form of the settings file.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace ui {

// Sets the accessible name (what a screen reader says) and the object name (how tests and
// scripts find the control) in one step, and returns the widget.
template <typename W> W* Named(W* w, const QString& accessible, const QString& object = {}) {
  w->setAccessibleName(accessible);
  if (!object.isEmpty()) w->setObjectName(object);
  return w;
}

// Settings colours are 0x00BBGGRR.
inline QColor ColourFromSetting(int v) {
  return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}
inline int SettingFromColour(const QColor& c) {
  return c.red() | (c.green() << 8) | (c.blue() << 16);
}

inline QString Q(const std::string& s) {
  return QString::fromStdString(s);
}
inline std::string S(const QString& s) {
  return s.toStdString();
}

} // namespace ui
