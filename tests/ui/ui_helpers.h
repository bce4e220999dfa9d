// Driving controls by their object names from table rows such as "pageSize=7".
#pragma once

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMap>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QWidget>

namespace uitest {

template <typename T = QWidget> T* Find(QWidget* root, const QString& name) {
  T* w = root->findChild<T*>(name);
  if (!w) qFatal("no control named %s", qPrintable(name));
  return w;
}

// name=value: a combo's index, a check box's or radio button's state, a spin box's value or
// an edit's text.
inline void Apply(QWidget* root, const QString& action) {
  QString name = action.section('=', 0, 0), value = action.section('=', 1);
  QWidget* w = Find(root, name);
  if (auto* c = qobject_cast<QComboBox*>(w))
    c->setCurrentIndex(value.toInt());
  else if (auto* b = qobject_cast<QAbstractButton*>(w))
    b->setChecked(value == "1");
  else if (auto* s = qobject_cast<QSpinBox*>(w))
    s->setValue(value.toInt());
  else if (auto* e = qobject_cast<QLineEdit*>(w))
    e->setText(value);
  else
    qFatal("cannot set %s", qPrintable(name));
}

// The key = value lines of a settings file.
inline QMap<QString, QString> IniValues(const QString& path) {
  QMap<QString, QString> m;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return m;
  for (const QByteArray& raw : f.readAll().split('\n')) {
    QString line = QString::fromUtf8(raw).trimmed();
    int eq = line.indexOf('=');
    if (eq > 0 && !line.startsWith('[')) m[line.left(eq).toLower()] = line.mid(eq + 1);
  }
  return m;
}

inline QByteArray Bytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Enabled and disabled lists of one table row.
inline void CheckEnabled(QWidget* root, const QStringList& enabled, const QStringList& disabled) {
  for (const QString& n : enabled)
    QVERIFY2(Find(root, n)->isEnabled(), qPrintable(n + " should be enabled"));
  for (const QString& n : disabled)
    QVERIFY2(!Find(root, n)->isEnabled(), qPrintable(n + " should be disabled"));
}

} // namespace uitest
