#include "HelpLinkFuncs.h"

#include "UtilFuncs.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <array>

namespace {

// One row per edition: its title and one address per link kind, plus the mail address the
// support label shows. Titles are compared exactly.
struct THelpLinkRow {
    const char* Title;
    std::array<const char*, 6> Links;  // indexed by THelpLinkKind
    const char* SupportMail;
};

// Editions without a row (OEM builds) have no links: their labels stay empty.
const THelpLinkRow HelpLinkTable[] = {
    {"vornic",
     {"https://vornic.example/help/",
      "https://vornic.example/tutorials/",
      "https://vornic.example/",
      "https://vornic.example/tools/",
      "https://vornic.example/update/?edition=vornic",
      "https://vornic.example/support/"},
     "support@vornic.example"},
    {"vornic Video Converter",
     {"https://vornic.example/video/help/",
      "https://vornic.example/video/tutorials/",
      "https://vornic.example/video/",
      "https://vornic.example/tools/",
      "https://vornic.example/update/?edition=video",
      "https://vornic.example/video/support/"},
     "support@vornic.example"},
    {"vornic Audio Converter",
     {"https://vornic.example/audio/help/",
      "https://vornic.example/audio/tutorials/",
      "https://vornic.example/audio/",
      "https://vornic.example/tools/",
      "https://vornic.example/update/?edition=audio",
      "https://vornic.example/audio/support/"},
     "support@vornic.example"},
    {"vornic Tube Saver",
     {"https://vornic.example/tube-saver/help/",
      "https://vornic.example/tube-saver/tutorials/",
      "https://vornic.example/tube-saver/",
      "https://vornic.example/tools/",
      "https://vornic.example/update/?edition=tube-saver",
      "https://vornic.example/tube-saver/support/"},
     "support@vornic.example"},
    {"vornic Lite",
     {"https://vornic.example/lite/help/",
      "https://vornic.example/lite/tutorials/",
      "https://vornic.example/lite/",
      "https://vornic.example/tools/",
      "https://vornic.example/update/?edition=lite",
      "https://vornic.example/lite/support/"},
     "support@vornic.example"},
    {"vornic Pro",
     {"https://pro.vornic.example/help/",
      "https://pro.vornic.example/tutorials/",
      "https://pro.vornic.example/",
      "https://vornic.example/tools/",
      "https://vornic.example/update/?edition=pro",
      "https://pro.vornic.example/support/"},
     "pro-support@vornic.example"},
};

const THelpLinkRow* FindRow(const QString& editionTitle)
{
    for (const THelpLinkRow& row : HelpLinkTable)
        if (editionTitle == QLatin1String(row.Title))
            return &row;
    return nullptr;
}

} // namespace

QString GetHelpLinkURL(THelpLinkKind kind, const QString& editionTitle)
{
    const THelpLinkRow* row = FindRow(editionTitle);
    if (!row || kind < hlHelpContent || kind > hlSupport)
        return {};
    return QString::fromLatin1(row->Links[kind]);
}

QString GetHelpContentURL(const QString& t) { return GetHelpLinkURL(hlHelpContent, t); }
QString GetTutorialsURL(const QString& t) { return GetHelpLinkURL(hlTutorials, t); }
QString GetHomePageURL(const QString& t) { return GetHelpLinkURL(hlHomePage, t); }
QString GetMoreToolsURL(const QString& t) { return GetHelpLinkURL(hlMoreTools, t); }
QString GetUpdatesURL(const QString& t) { return GetHelpLinkURL(hlUpdates, t); }
QString GetSupportURL(const QString& t) { return GetHelpLinkURL(hlSupport, t); }

QString GetSupportAddressText(const QString& editionTitle)
{
    const THelpLinkRow* row = FindRow(editionTitle);
    if (!row)
        return {};
    return row->SupportMail ? QString::fromLatin1(row->SupportMail) : GetSupportURL(editionTitle);
}

bool OpenHelpLink(THelpLinkKind kind, const QString& editionTitle)
{
    const QString address = GetHelpLinkURL(kind, editionTitle);
    if (address.isEmpty())
        return false;
    ShellOpen(address);
    return true;
}

QMenu* CreateHelpMenu(QWidget* parent, const QString& editionTitle, bool shortWording,
                      std::function<void()> onAbout)
{
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("PopupMenuHelp"));

    auto addLink = [&](const char* name, const QString& caption, THelpLinkKind kind) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        action->setParent(menu);
        QObject::connect(action, &QAction::triggered, menu, [editionTitle, kind] { OpenHelpLink(kind, editionTitle); });
        return action;
    };

    QAction* help = addLink("ActionHelpContent", QStringLiteral("Help Content"), hlHelpContent);
    help->setShortcut(QKeySequence(Qt::Key_F1));
    help->setShortcutContext(Qt::ApplicationShortcut);
    // F1 must work while the menu is closed, so the window hosting the menu carries it too.
    if (parent)
        parent->addAction(help);
    // "&&" shows a single ampersand in a menu entry.
    addLink("ActionHowTosTutorialVideos", QStringLiteral("How Tos && Tutorial Videos..."), hlTutorials);
    menu->addSeparator();
    addLink("ActionHomePage", QStringLiteral("Home Page..."), hlHomePage);
    addLink("ActionMoreFreeTools", shortWording ? QStringLiteral("More Tools...") : QStringLiteral("More Free Tools..."),
            hlMoreTools);
    menu->addSeparator();
    addLink("ActionCheckforUpdates", QStringLiteral("Check for Updates..."), hlUpdates);
    addLink("ActionContactTechnicalSupport", QStringLiteral("Contact Technical Support..."), hlSupport);
    menu->addSeparator();
    QAction* about = menu->addAction(QStringLiteral("About"));
    about->setObjectName(QStringLiteral("ActionAbout"));
    QObject::connect(about, &QAction::triggered, menu, [onAbout] {
        if (onAbout)
            onAbout();
    });
    return menu;
}

QPoint HelpMenuPosition(const QPoint& mainWindowTopLeft, const QPoint& buttonHelpPos, int buttonHelpHeight,
                        int helpMenuOffset)
{
    return {mainWindowTopLeft.x() + buttonHelpPos.x() + helpMenuOffset,
            mainWindowTopLeft.y() + buttonHelpPos.y() + buttonHelpHeight};
}
