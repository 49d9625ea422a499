#pragma once
// Web links of each edition and the Help menu. Every link depends on the edition title
// (compared exactly); a title not in the table yields an empty address, which opens nothing.
// The table is data: each edition fills its row in section "LINKS" of its edition file.
#include <QPoint>
#include <QString>
#include <array>
#include <functional>
#include <vector>

class QMenu;
class QWidget;

enum THelpLinkKind { hlHelpContent, hlTutorials, hlHomePage, hlMoreTools, hlUpdates, hlSupport };

// One row of the link table: an edition title, one address per kind (indexed by
// THelpLinkKind; empty = none) and the mail address the support label shows.
struct THelpLinkRow {
    QString Title;
    std::array<QString, 6> Links;
    QString SupportMail;
};

// Keys of section "LINKS", in THelpLinkKind order, and the support label's key.
inline constexpr std::array<const char*, 6> HelpLinkKeys{"HelpContent", "Tutorials", "HomePage",
                                                         "MoreTools", "Updates", "Support"};
inline constexpr const char* SupportMailKey = "SupportMail";

// The row of the edition file in `appDir`: its Name and section "LINKS". An address that is
// neither absolute nor has a scheme names a file in the program's folder (the manual); when
// that file is missing the kind has no address.
THelpLinkRow ReadHelpLinks(const QString& appDir);
// The table in force; empty until the program or a test sets it.
void SetHelpLinkTable(std::vector<THelpLinkRow> rows);

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
// entries open the edition's links (an entry whose kind has no address is disabled); "About"
// calls onAbout. shortWording gives "More Tools...".
QMenu* CreateHelpMenu(QWidget* parent, const QString& editionTitle, bool shortWording,
                      std::function<void()> onAbout);

// Where the menu opens: just below the Help button, shifted right by the layout's offset.
QPoint HelpMenuPosition(const QPoint& mainWindowTopLeft, const QPoint& buttonHelpPos, int buttonHelpHeight,
                        int helpMenuOffset);
