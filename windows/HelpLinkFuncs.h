#pragma once
// Web links of each edition and the Help menu. Every link depends on the edition title
// (compared exactly); a title not in the table yields an empty address, which opens nothing.
#include <QPoint>
#include <QString>
#include <functional>

class QMenu;
class QWidget;

enum THelpLinkKind { hlHelpContent, hlTutorials, hlHomePage, hlMoreTools, hlUpdates, hlSupport };

// One lookup per link kind: edition title -> address (empty when unknown).
QString GetHelpContentURL(const QString& editionTitle);
QString GetTutorialsURL(const QString& editionTitle);
QString GetHomePageURL(const QString& editionTitle);
QString GetMoreToolsURL(const QString& editionTitle);
QString GetUpdatesURL(const QString& editionTitle);
QString GetSupportURL(const QString& editionTitle);
QString GetHelpLinkURL(THelpLinkKind kind, const QString& editionTitle);

// The address a support label shows (a mail address when the edition has one, else the support page).
QString GetSupportAddressText(const QString& editionTitle);

// Opens the link through Desktop().ShellOpen; an empty address opens nothing.
// Returns whether something was opened.
bool OpenHelpLink(THelpLinkKind kind, const QString& editionTitle);

// The Help pop-up menu (objectName "PopupMenuHelp") with its actions ActionHelpContent,
// ActionHowTosTutorialVideos, ActionHomePage, ActionMoreFreeTools, ActionCheckforUpdates,
// ActionContactTechnicalSupport and ActionAbout, in menu order with separators. The link
// entries open the edition's links; "About" calls onAbout. shortWording gives "More Tools...".
QMenu* CreateHelpMenu(QWidget* parent, const QString& editionTitle, bool shortWording,
                      std::function<void()> onAbout);

// Where the menu opens: just below the Help button, shifted right by the layout's offset.
QPoint HelpMenuPosition(const QPoint& mainWindowTopLeft, const QPoint& buttonHelpPos, int buttonHelpHeight,
                        int helpMenuOffset);
