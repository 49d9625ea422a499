#pragma once
// Every auxiliary window rendered offscreen with typical content, for the screenshot tool.
#include <QImage>
#include <QList>
#include <QPair>
#include <QString>

// (file base name, picture) pairs: "log", "about_simple", "about_tabbed", "shutdown",
// "failed_files". imageDir is the skin folder of the edition (may be empty).
QList<QPair<QString, QImage>> RenderAuxiliaryWindows(const QString& editionTitle, const QString& version,
                                                     const QString& copyright, const QString& imageDir = QString());
