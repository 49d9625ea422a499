#pragma once
// Look of the pages inside the skinned frame, in the skin's own colour.
#include <QColor>
#include <QString>

QString PageStyleSheet(const QColor& accent);
