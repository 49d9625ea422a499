#include "PageStep5.h"

#include "AppSettings.h"
#include "UtilFuncs.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

namespace {

QPushButton* BindButton(QWidget* parent, const char* name, QAction* action, QRect place)
{
    auto* button = new QPushButton(action->text(), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(place);
    button->setEnabled(action->isEnabled());
    QObject::connect(button, &QPushButton::clicked, action, &QAction::trigger);
    QObject::connect(action, &QAction::changed, button, [button, action] { button->setEnabled(action->isEnabled()); });
    return button;
}

} // namespace

TPageStep5::TPageStep5(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheetStep5"));
    resize(560, 430);

    auto makeAction = [this](const char* name, const QString& caption) {
        auto* action = new QAction(caption, this);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    ActionURLPaste = makeAction("ActionURLPaste", tr("&Paste"));
    ActionURLPaste->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    ActionURLPaste->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    ActionURLRemove = makeAction("ActionURLRemove", tr("&Remove"));
    ActionURLEmpty = makeAction("ActionURLEmpty", tr("&Empty"));
    ActionURLSelect = makeAction("ActionURLSelect", tr("Select..."));

    auto* groupURLs = new QGroupBox(tr(" Input URLs "), this);
    groupURLs->setObjectName(QStringLiteral("GroupBoxInputURLs"));
    groupURLs->setGeometry(8, 4, 544, 232);
    ListViewInputURL = new QTreeWidget(groupURLs);
    ListViewInputURL->setObjectName(QStringLiteral("ListViewInputURL"));
    ListViewInputURL->setGeometry(12, 26, 520, 158);
    ListViewInputURL->setHeaderLabels({tr("Videos")});
    ListViewInputURL->setHeaderHidden(true);
    ListViewInputURL->setRootIsDecorated(false);
    ListViewInputURL->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListViewInputURL->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewInputURL->setContextMenuPolicy(Qt::ActionsContextMenu);
    ListViewInputURL->addActions({ActionURLPaste, ActionURLRemove});
    BindButton(groupURLs, "ButtonURLPaste", ActionURLPaste, {12, 192, 100, 28});
    BindButton(groupURLs, "ButtonURLRemove", ActionURLRemove, {118, 192, 100, 28});
    BindButton(groupURLs, "ButtonURLEmpty", ActionURLEmpty, {224, 192, 100, 28});

    auto* groupQuality = new QGroupBox(tr(" Quality "), this);
    groupQuality->setObjectName(QStringLiteral("GroupBoxQuality"));
    groupQuality->setGeometry(8, 242, 544, 86);
    CheckBoxYouTubeQuality = new QCheckBox(tr("Prefer YouTube high quality"), groupQuality);
    CheckBoxYouTubeQuality->setObjectName(QStringLiteral("CheckBoxYouTubeQuality"));
    CheckBoxYouTubeQuality->setGeometry(12, 26, 380, 22);
    LabelYouTubeQuality = new QLabel(groupQuality);
    LabelYouTubeQuality->setObjectName(QStringLiteral("LabelYouTubeQuality"));
    LabelYouTubeQuality->setGeometry(32, 52, 380, 20);
    LabelYouTubeQuality->setProperty("hint", true);
    ButtonYouTubeQualityConfig = new QPushButton(tr("Settings..."), groupQuality);
    ButtonYouTubeQualityConfig->setObjectName(QStringLiteral("ButtonYouTubeQualityConfig"));
    ButtonYouTubeQualityConfig->setGeometry(430, 34, 102, 28);

    auto* groupSetup = new QGroupBox(tr(" Setup "), this);
    groupSetup->setObjectName(QStringLiteral("GroupBoxSetup"));
    groupSetup->setGeometry(8, 334, 544, 88);
    auto* labelDir = new QLabel(tr("Output directory:"), groupSetup);
    labelDir->setGeometry(12, 24, 300, 20);
    EditURLOutput = new QLineEdit(groupSetup);
    EditURLOutput->setObjectName(QStringLiteral("EditURLOutput"));
    EditURLOutput->setGeometry(12, 48, 410, 28);
    BindButton(groupSetup, "ButtonURLSelect", ActionURLSelect, {430, 48, 102, 28});

    connect(ActionURLPaste, &QAction::triggered, this, &TPageStep5::ActionURLPasteExecute);
    connect(ActionURLRemove, &QAction::triggered, this, &TPageStep5::ActionURLRemoveExecute);
    connect(ActionURLEmpty, &QAction::triggered, this, &TPageStep5::ActionURLEmptyExecute);
    connect(ActionURLSelect, &QAction::triggered, this, &TPageStep5::ActionURLSelectExecute);
    ActionURLPaste->setEnabled(false);
}

int TPageStep5::URLCount() const { return ListViewInputURL->topLevelItemCount(); }

QStringList TPageStep5::URLs() const
{
    QStringList links;
    for (int i = 0; i < URLCount(); ++i)
        links << ListViewInputURL->topLevelItem(i)->text(0);
    return links;
}

bool TPageStep5::AddURL(const QString& link)
{
    if (URLs().contains(link))
        return false;
    new QTreeWidgetItem(ListViewInputURL, {link});
    return true;
}

void TPageStep5::EmptyURLs() { ListViewInputURL->clear(); }

void TPageStep5::ShowURLPageSettings()
{
    EditURLOutput->setText(AppSettings.OutputURLDir);
    CheckBoxYouTubeQuality->setChecked(AppSettings.PreferYouTubeQuality);
}

void TPageStep5::StoreURLPageSettings()
{
    AppSettings.OutputURLDir = WithTrailingBackslash(EditURLOutput->text());
    AppSettings.PreferYouTubeQuality = CheckBoxYouTubeQuality->isChecked();
}

void TPageStep5::SetClipboardHasText(bool hasText) { ActionURLPaste->setEnabled(hasText); }

void TPageStep5::ActionURLPasteExecute()
{
    const QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'));
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (!line.trimmed().isEmpty())
            AddURL(line);
    }
}

void TPageStep5::ActionURLRemoveExecute() { qDeleteAll(ListViewInputURL->selectedItems()); }

void TPageStep5::ActionURLEmptyExecute() { EmptyURLs(); }

void TPageStep5::ActionURLSelectExecute()
{
    QString folder = AppSettings.OutputURLDir;
    if (!BrowseForFolder(folder))
        return;
    EditURLOutput->setText(WithTrailingBackslash(folder));
    AppSettings.OutputURLDir = EditURLOutput->text();
}
