#pragma once
// The application icon of an edition, drawn (no image resources in the repository).
#include <QIcon>
#include <QString>

// iconName: the icon table's answer for the edition; empty = the program's default icon.
QIcon EditionIcon(const QString& iconName);
