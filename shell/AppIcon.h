#pragma once
// The application icon of an edition, drawn (no image resources in the repository).
#include <QIcon>
#include <QString>

// iconName: the icon table's answer for the edition; empty = the program's default icon.
QIcon EditionIcon(const QString& iconName);

// The program's identity on the desktop for an edition: the edition's icon for every window.
// The edition title is the main window's caption, and is deliberately not made the
// application's display name: window systems append that to every other window's caption.
void SetApplicationIdentity(const QString& editionTitle);
