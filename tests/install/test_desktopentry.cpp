// The menu entry against the program: every media type the open dialog accepts is one the file
// manager offers to "Open with" it.
#include "FakeDesktop.h"
#include "PageStep1.h"

#include <QFile>
#include <QMimeDatabase>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <set>

namespace {

QString EntryValue(const QString& key)
{
    QFile file(QStringLiteral(VORNIC_DESKTOP_FILE));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QRegularExpression line(QStringLiteral("^%1=(.*)$").arg(QRegularExpression::escape(key)),
                                  QRegularExpression::MultilineOption);
    return line.match(QString::fromUtf8(file.readAll())).captured(1);
}

// The extensions of the dialog's first entry, "All Supported Formats".
QStringList SupportedExtensions()
{
    ScopedFakeDesktop desktop;
    TPageStep1 page;
    page.ActionAddExecute(); // the fake answers no files
    if (desktop->openRequests.empty())
        return {};
    const QStringList parts = desktop->openRequests.front().filter.split(QLatin1Char('|'));
    QStringList extensions;
    for (const QString& pattern : parts.value(1).split(QLatin1Char(';'), Qt::SkipEmptyParts))
        extensions << pattern.mid(2).toLower(); // "*.AVI" -> "avi"
    return extensions;
}

} // namespace

TEST(DesktopEntry, OffersEveryTypeTheOpenDialogAccepts)
{
    const QStringList extensions = SupportedExtensions();
    ASSERT_GT(extensions.size(), 30);
    const QStringList listed = EntryValue(QStringLiteral("MimeType")).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    ASSERT_FALSE(listed.isEmpty());
    const std::set<QString> offered(listed.begin(), listed.end());

    QMimeDatabase db;
    int known = 0;
    for (const QString& extension : extensions) {
        // Every media type the desktop's database gives the name; names it does not know, or
        // knows only as text (".ts" is also a translation file), have nothing to list.
        for (const QMimeType& type : db.mimeTypesForFileName(QStringLiteral("x.") + extension)) {
            if (type.name().startsWith(QLatin1String("text/")))
                continue;
            ++known;
            EXPECT_TRUE(offered.count(type.name()) || [&] {
                for (const QString& alias : type.aliases())
                    if (offered.count(alias))
                        return true;
                return false;
            }()) << "." << extension.toStdString() << " is " << type.name().toStdString();
        }
    }
    EXPECT_GT(known, 25) << "the desktop's type database looks empty";
    for (const QString& type : listed)
        EXPECT_TRUE(db.mimeTypeForName(type).isValid()) << type.toStdString() << " is no known type";
}
