// Widget tests keep each page as a PNG under the build tree, for review.
#pragma once

#include <QTest>
#include <QWidget>
#include <cstdio>
#include <filesystem>

inline void keep(QWidget& w, const QString& name) {
  std::filesystem::create_directories(QUORREL_ARTIFACT_DIR);
  const QString path = QStringLiteral(QUORREL_ARTIFACT_DIR "/") + name;
  QVERIFY(w.grab().save(path, "PNG"));
  std::printf("picture: %s\n", qPrintable(path));
}
