#include "HelpLinkFuncs.h"

#include "EditionConfig.h"
#include "IniFile.h"
#include "UtilFuncs.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <array>

namespace {

std::vector<THelpLinkRow> HelpLinkTable;

const THelpLinkRow* FindRow(const QString& editionTitle)
{
    for (const THelpLinkRow& row : HelpLinkTable)
        if (editionTitle == row.Title)
            return &row;
    return nullptr;
}

QString ResolveAddress(const QString& appDir, const QString& value)
{
    const QString text = value.trimmed();
    if (text.isEmpty() || text.contains(QStringLiteral("://")) || text.startsWith(QStringLiteral("mailto:")))
        return text;
    const QString path = QDir::isAbsolutePath(text) ? text : QDir(appDir).absoluteFilePath(text);
    // The file itself, not a link to it: a browser is given an address that stays valid.
    const QFileInfo file(path);
    return file.isFile() ? file.canonicalFilePath() : QString();
}

} // namespace

THelpLinkRow ReadHelpLinks(const QString& appDir)
{
    const TIniFile ini(WithTrailingBackslash(appDir) + EditionFileName);
    const QString section = QStringLiteral("LINKS");
    THelpLinkRow row;
    row.Title = ini.ReadString(QStringLiteral("SYSTEM"), QStringLiteral("Name"), QString());
    for (size_t kind = 0; kind < HelpLinkKeys.size(); ++kind)
        row.Links[kind] = ResolveAddress(appDir, ini.ReadString(section, QLatin1String(HelpLinkKeys[kind]), QString()));
    row.SupportMail = ini.ReadString(section, QLatin1String(SupportMailKey), QString()).trimmed();
    return row;
}

void SetHelpLinkTable(std::vector<THelpLinkRow> rows)
{
    HelpLinkTable = std::move(rows);
}

QString GetHelpLinkURL(THelpLinkKind kind, const QString& editionTitle)
{
    const THelpLinkRow* row = FindRow(editionTitle);
    if (!row || kind < hlHelpContent || kind > hlSupport)
        return {};
    return row->Links[size_t(kind)];
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
    return row->SupportMail.isEmpty() ? GetSupportURL(editionTitle) : row->SupportMail;
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
        action->setEnabled(!GetHelpLinkURL(kind, editionTitle).isEmpty());
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
