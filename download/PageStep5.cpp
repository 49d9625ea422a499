#include "PageStep5.h"

#include "AppSettings.h"
#include "DesktopServices.h"
#include "EditionConfig.h"
#include "FormYouTubeHQ.h"
#include "LinkList.h"
#include "UtilFuncs.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
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

// Link, LF CR LF CR, reason; OK goes on with the next pasted line, Cancel stops.
bool Refuse(const QString& link, const QString& reason)
{
    const QString text = link + QStringLiteral("\n\r\n\r") + reason;
    return Desktop().ShowMessage(text, EditionConfig.Name, TMsgDlgType::mtInformation, mbOK | mbCancel) != mrCancel;
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
    CheckBoxYouTubeQuality->setGeometry(12, 24, 380, 22);
    LabelYouTubeQuality = new QLabel(groupQuality);
    LabelYouTubeQuality->setObjectName(QStringLiteral("LabelYouTubeQuality"));
    LabelYouTubeQuality->setGeometry(12, 54, 524, 20);
    LabelYouTubeQuality->setProperty("hint", true);
    ButtonYouTubeQualityConfig = new QPushButton(tr("Config..."), groupQuality);
    ButtonYouTubeQualityConfig->setObjectName(QStringLiteral("ButtonYouTubeQualityConfig"));
    ButtonYouTubeQualityConfig->setGeometry(440, 20, 92, 28);

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
    ListViewInputURL->viewport()->installEventFilter(this);
    connect(ListViewInputURL, &QTreeWidget::itemSelectionChanged, this, &TPageStep5::ActionListURLUpdate);
    connect(CheckBoxYouTubeQuality, &QCheckBox::clicked, this, &TPageStep5::CheckBoxYouTubeQualityClick);
    connect(ButtonYouTubeQualityConfig, &QPushButton::clicked, this, &TPageStep5::ButtonYouTubeQualityConfigClick);
    ActionListURLUpdate();
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
    const QString refusal = LinkRefusal(link, URLs());
    if (!refusal.isEmpty())
        return Refuse(link, refusal);
    new QTreeWidgetItem(ListViewInputURL, {link});
    ActionListURLUpdate();
    return true;
}

void TPageStep5::EmptyURLs()
{
    ListViewInputURL->clear();
    ActionListURLUpdate();
}

void TPageStep5::ShowURLPageSettings()
{
    EditURLOutput->setText(AppSettings.OutputURLDir);
    CheckBoxYouTubeQuality->setChecked(AppSettings.PreferYouTubeQuality);
    ShowPreferenceSummary();
}

void TPageStep5::StoreURLPageSettings()
{
    AppSettings.OutputURLDir = WithTrailingBackslash(EditURLOutput->text());
    AppSettings.PreferYouTubeQuality = CheckBoxYouTubeQuality->isChecked();
}

void TPageStep5::SetClipboardHasText(bool hasText)
{
    clipboardHasText_ = hasText;
    ActionListURLUpdate();
}

void TPageStep5::ActionListURLUpdate()
{
    ActionURLPaste->setEnabled(clipboardHasText_);
    ActionURLRemove->setEnabled(!ListViewInputURL->selectedItems().isEmpty());
    ActionURLEmpty->setEnabled(URLCount() > 0);
}

void TPageStep5::ActionURLPasteExecute()
{
    const QMimeData* data = QApplication::clipboard()->mimeData();
    if (!data || !data->hasText())
        return;
    for (const QString& line : SplitPastedLines(data->text()))
        if (!AddURL(line))
            break;
}

void TPageStep5::ActionURLRemoveExecute()
{
    int lowest = -1;
    for (int i = URLCount() - 1; i >= 0; --i) {
        QTreeWidgetItem* item = ListViewInputURL->topLevelItem(i);
        if (item->isSelected()) {
            delete item;
            lowest = i;
        }
    }
    if (lowest >= 0 && URLCount() > 0) {
        QTreeWidgetItem* next = ListViewInputURL->topLevelItem(std::min(lowest, URLCount() - 1));
        ListViewInputURL->clearSelection();
        ListViewInputURL->setCurrentItem(next);
        next->setSelected(true);
        ListViewInputURL->scrollToItem(next);
    }
    ListViewInputURL->setFocus();
    ActionListURLUpdate();
}

void TPageStep5::ActionURLEmptyExecute() { EmptyURLs(); }

void TPageStep5::ActionURLSelectExecute()
{
    QString folder = AppSettings.OutputURLDir;
    if (!BrowseForFolder(folder))
        return;
    EditURLOutput->setText(WithTrailingBackslash(folder));
    AppSettings.OutputURLDir = EditURLOutput->text();
}

void TPageStep5::ListViewInputURLDblClick()
{
    const QList<QTreeWidgetItem*> selected = ListViewInputURL->selectedItems();
    if (!selected.isEmpty())
        ShellOpen(selected.first()->text(0));
}

bool TPageStep5::eventFilter(QObject* watched, QEvent* event)
{
    // Anywhere in the list, also below the last row: the selected row is opened.
    if (watched == ListViewInputURL->viewport() && event->type() == QEvent::MouseButtonDblClick)
        ListViewInputURLDblClick();
    return QWidget::eventFilter(watched, event);
}

void TPageStep5::CheckBoxYouTubeQualityClick() { ShowPreferenceSummary(); }

void TPageStep5::ButtonYouTubeQualityConfigClick()
{
    // "&Default" and "&Best Available" change the slots at once, so the label follows the
    // slots also after Cancel.
    TFormYouTubeHQ dialog(AppSettings.PreferYouTube, window());
    dialog.exec();
    ShowPreferenceSummary();
}

void TPageStep5::ShowPreferenceSummary()
{
    const bool on = CheckBoxYouTubeQuality->isChecked();
    LabelYouTubeQuality->setText(PreferenceSummary(on, AppSettings.PreferYouTube));
    ButtonYouTubeQualityConfig->setEnabled(on);
}
