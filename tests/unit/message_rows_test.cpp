// Message rows and their text forms: numbering per mailbox, marks that follow the row, and the
// command-line checker's TSV and JSON output.
#include "engine/check_run.h"
#include "engine/mailbox_list.h"
#include "engine/message_export.h"
#include "support/text_format.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

namespace brevio {
namespace {

TEST(FormatText, FillsPlaceholdersInOrderAndToleratesBrokenTexts)
{
    struct Case {
        const char* Format;
        std::initializer_list<QVariant> Arguments;
        const char* Expected;
    };
    const Case cases[] = {
        {"Connecting to server (%s)...", {QStringLiteral("Home")}, "Connecting to server (Home)..."},
        {"Retrieved message header %d from %d", {3, 10}, "Retrieved message header 3 from 10"},
        {"%d%% done", {50}, "50% done"},
        {"no placeholders", {1, 2}, "no placeholders"},
        {"%s and %s", {QStringLiteral("one")}, "one and %s"},
        {"100% sure %x", {}, "100% sure %x"},
        {"trailing %", {1}, "trailing %"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatText(QString::fromUtf8(c.Format), c.Arguments), QString::fromUtf8(c.Expected)) << c.Format;
}

class MessageRows : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto pop = std::make_unique<TMailBox>();
        pop->Name = QStringLiteral("Home");
        pop->Protocol = TMailProtocol::POP3;
        AddMessage(*pop, 1, QStringLiteral("Tab\there"), 1000, {}, 0, "id-1");
        AddMessage(*pop, 2, QStringLiteral("Line\r\nbreak"), -1, {}, 0, "id-2");
        list.Add(std::move(pop));

        auto imap = std::make_unique<TMailBox>();
        imap->Name = QStringLiteral("Work");
        imap->Protocol = TMailProtocol::IMAP4;
        AddMessage(*imap, 1, QStringLiteral("Привет"), 2500, "&BBIERQQ+BDQETwRJBDgENQ-", 42, {});
        list.Add(std::move(imap));
    }

    static void AddMessage(TMailBox& box, qint32 number, const QString& subject, qint32 size,
                           const QByteArray& folder, quint32 uid, const QByteArray& uniqueId)
    {
        auto message = std::make_unique<TMailMessage>();
        message->Subject = subject;
        message->From.SetText(QStringLiteral("Ann <ann@example.org>"));
        message->Size = size;
        message->Folder = folder;
        message->Uid = uid;
        message->UidValidity = uid ? 7 : 0;
        message->UniqueId = uniqueId;
        if (number == 1)
            message->Date = QDateTime(QDate(2024, 3, 5), QTime(14, 30, 15), QTimeZone::utc()).toLocalTime();
        box.AddMessage(std::move(message), number);
    }

    TMailBoxList list;
};

TEST_F(MessageRows, NumberPerMailBoxDecodeFoldersAndMarkTheRightMessage)
{
    const QList<TMessageRow> rows = BuildMessageRows(list, QLocale::c());
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ((QStringList{rows[0].Number, rows[1].Number, rows[2].Number}), (QStringList{"1", "2", "1"}));
    EXPECT_EQ(rows[2].Folder, QStringLiteral("Входящие"));
    EXPECT_EQ(rows[1].Size, QStringLiteral("-1"));
    // A message without a size adds nothing to the disposed bytes.
    EXPECT_EQ(rows[1].SizeBytes, 0);
    EXPECT_TRUE(rows[1].Date.isEmpty() && rows[1].Time.isEmpty());
    EXPECT_FALSE(rows[0].Date.isEmpty());

    EXPECT_TRUE(MarkRowForDeletion(list, rows[1]));
    EXPECT_TRUE(MarkRowForDeletion(list, rows[2]));
    EXPECT_EQ(list.Items(0)->PopDeleteNumbers, QList<qint32>{2});
    EXPECT_EQ(list.Items(0)->PopDeleteUniqueIds, QList<QByteArray>{"id-2"});
    ASSERT_EQ(list.Items(1)->FolderDeletes.size(), 1u);
    const TMailBoxFolder& folder = list.Items(1)->FolderDeletes.front();
    EXPECT_EQ(folder.Name, QByteArray("&BBIERQQ+BDQETwRJBDgENQ-"));
    EXPECT_EQ(folder.Uids, QList<quint32>{42});
    EXPECT_EQ(folder.UidValidity, 7u);

    // A row from before the list was replaced marks nothing.
    TMessageRow stale = rows[0];
    stale.MessageIndex = 5;
    EXPECT_FALSE(MarkRowForDeletion(list, stale));
}

TEST_F(MessageRows, TsvKeepsOneLinePerRowAndEightFields)
{
    const QList<TMessageRow> rows = BuildMessageRows(list, QLocale::c());
    const QStringList lines = QString::fromUtf8(ExportMessageRows(list, rows, TExportFormat::Tsv)).split(u'\n');
    ASSERT_EQ(lines.size(), 5);  // header, three rows, the empty rest after the last line end
    EXPECT_EQ(lines[0], QStringLiteral("No\tSubject\tFrom\tMailbox\tSize\tDate\tTime\tFolder"));
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(lines[i].count(u'\t'), 7) << lines[i].toStdString();
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("1\tTab here\t")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("2\tLine  break\t")));
    const QDateTime local = QDateTime(QDate(2024, 3, 5), QTime(14, 30, 15), QTimeZone::utc()).toLocalTime();
    EXPECT_TRUE(lines[1].contains(local.toString(QStringLiteral("\tyyyy-MM-dd\tHH:mm:ss\t"))));
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral("\t\t\t")));
    EXPECT_TRUE(lines[3].endsWith(QStringLiteral("\tВходящие")));
}

TEST_F(MessageRows, JsonCarriesTypedValuesAndNullsForUnknowns)
{
    const QList<TMessageRow> rows = BuildMessageRows(list, QLocale::c());
    const QJsonArray array = QJsonDocument::fromJson(ExportMessageRows(list, rows, TExportFormat::Json)).array();
    ASSERT_EQ(array.size(), 3);
    const QJsonObject first = array[0].toObject();
    EXPECT_EQ(first.value(QStringLiteral("number")).toInt(), 1);
    EXPECT_EQ(first.value(QStringLiteral("size")).toInteger(), 1000);
    EXPECT_EQ(first.value(QStringLiteral("uid")).toString(), QStringLiteral("id-1"));
    EXPECT_EQ(QDateTime::fromString(first.value(QStringLiteral("date")).toString(), Qt::ISODate).toUTC(),
              QDateTime(QDate(2024, 3, 5), QTime(14, 30, 15), QTimeZone::utc()));
    EXPECT_TRUE(array[1].toObject().value(QStringLiteral("date")).isNull());
    EXPECT_EQ(array[2].toObject().value(QStringLiteral("uid")).toInteger(), 42);
    EXPECT_EQ(array[2].toObject().value(QStringLiteral("folder")).toString(), QStringLiteral("Входящие"));
}

TEST_F(MessageRows, TableAlignsColumnsAndCutsLongTexts)
{
    TMailBoxList one;
    auto box = std::make_unique<TMailBox>();
    box->Name = QStringLiteral("Home");
    AddMessage(*box, 1, QString(60, u'x'), 5, {}, 0, {});
    one.Add(std::move(box));
    const QStringList lines =
        QString::fromUtf8(ExportMessageRows(one, BuildMessageRows(one, QLocale::c()), TExportFormat::Table))
            .split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    // The subject column starts at the same place in both lines and is cut with an ellipsis.
    EXPECT_EQ(lines[0].indexOf(QStringLiteral("Subject")), lines[1].indexOf(u'x'));
    EXPECT_TRUE(lines[1].contains(QString(39, u'x') + QChar(0x2026)));
}

}  // namespace
}  // namespace brevio
