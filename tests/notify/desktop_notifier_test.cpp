#include "notify/desktop_notifier.h"

#include "history/history_store.h"

#include "notification_service.h"
#include "support/temp_dir.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FirstAddedLine, IsTheFirstNonBlankLineTheNewerTextHasAndTheOlderHasNot)
{
    const struct
    {
        std::string older;
        std::string newer;
        QString line;
    } cases[] = {
        { "a\nb\n", "a\nnew line\nb\n", QStringLiteral("new line") },
        { "a\n価格 100 円\n", "a\n価格 120 円\n", QStringLiteral("価格 120 円") },
        { "a\n", "a\n\n   \n  indented\n", QStringLiteral("indented") },
        { "", "first\nsecond\n", QStringLiteral("first") },
        { "a\nb\n", "a\n", QString() },
        { "a\n", "a\n\n", QString() },
    };
    for (const auto& c : cases)
        EXPECT_EQ(firstAddedLine(c.older, c.newer), c.line) << c.newer;
}

TEST(FirstAddedLine, OfAnItemIsTakenFromItsTwoNewestKeptVersions)
{
    const test::TempDir dir;
    THistoryStore history(dir.path());
    const std::string id = "0123456789abcdef0123456789abcdef";
    EXPECT_EQ(newestAddedLine(history, id), QString());
    history.record(id, 1, "a\n");
    EXPECT_EQ(newestAddedLine(history, id), QString());
    history.record(id, 2, "a\nb\n");
    history.record(id, 3, "a\nb\nc\n");
    EXPECT_EQ(newestAddedLine(history, id), QStringLiteral("c"));
}

TEST(NotificationBody, NamesEachTitleWithItsLineCutTo80CharactersThenThePagesThatStopped)
{
    const QString longLine = QString(100, QChar(0x3042));
    const TRunNews news { QStringLiteral("2件中、2件が更新されています"),
        { { QStringLiteral("id1"), QStringLiteral("ニュース"), longLine },
            { QStringLiteral("id2"), QStringLiteral("日記"), QString() } },
        { QStringLiteral("掲示板") } };
    EXPECT_EQ(notificationBody(news),
        QStringLiteral("ニュース\n　") + QString(79, QChar(0x3042)) + QChar(0x2026)
            + QStringLiteral("\n日記\n確認できなくなったページ\n　掲示板"));
}

TRunNews twoPages()
{
    return { QStringLiteral("3件中、2件が更新されています"),
        { { QStringLiteral("0123"), QStringLiteral("A & B"), QStringLiteral("<b>new</b>") },
            { QStringLiteral("4567"), QStringLiteral("C"), QStringLiteral("c") } },
        {} };
}

TEST(DesktopNotifier, PostsOneNotificationWithTheActionsThatReplacesTheOneBefore)
{
    TNotificationService service;
    ASSERT_TRUE(service.registered());
    TDesktopNotifier notifier;
    ASSERT_TRUE(notifier.available());
    ASSERT_TRUE(notifier.notify(twoPages()));
    ASSERT_TRUE(notifier.notify(twoPages()));

    const auto calls = service.waitForCalls(2);
    ASSERT_EQ(calls.size(), 2u);
    const TNotificationService::TCall& first = calls[0];
    EXPECT_EQ(first.appName, QStringLiteral("Vantrel"));
    EXPECT_EQ(first.icon, QStringLiteral("vantrel"));
    EXPECT_EQ(first.replacesId, 0u);
    EXPECT_EQ(first.summary, QStringLiteral("3件中、2件が更新されています"));
    // Without body-markup the service shows the text as it is.
    EXPECT_EQ(first.body, QStringLiteral("A & B\n　<b>new</b>\nC\n　c"));
    EXPECT_TRUE(first.actions.contains(QStringLiteral("default")));
    const qsizetype show = first.actions.indexOf(QStringLiteral("show-changes"));
    ASSERT_GE(show, 0);
    EXPECT_EQ(first.actions.value(show + 1), QStringLiteral("変更点を表示"));
    EXPECT_EQ(first.hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("vantrel"));
    EXPECT_EQ(calls[1].replacesId, first.id);
    EXPECT_EQ(notifier.lastId(), first.id);
}

TEST(DesktopNotifier, EscapesTheBodyForAServiceThatReadsMarkup)
{
    TNotificationService service({ QStringLiteral("actions"), QStringLiteral("body-markup") });
    TDesktopNotifier notifier;
    ASSERT_TRUE(notifier.available());
    ASSERT_TRUE(notifier.notify(twoPages()));
    const auto calls = service.waitForCalls(1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].body, QStringLiteral("A &amp; B\n　&lt;b&gt;new&lt;/b&gt;\nC\n　c"));
}

TEST(DesktopNotifier, AnswersOnlyToItsOwnNotification)
{
    TNotificationService service;
    TDesktopNotifier notifier;
    QSignalSpy restore(&notifier, &TDesktopNotifier::restoreRequested);
    QSignalSpy changes(&notifier, &TDesktopNotifier::changesRequested);
    QSignalSpy closed(&notifier, &TDesktopNotifier::closed);
    ASSERT_TRUE(notifier.notify(twoPages()));
    const uint id = notifier.lastId();

    service.invokeAction(id + 1, QStringLiteral("show-changes")); // another program's
    service.invokeAction(id, QStringLiteral("show-changes"));
    ASSERT_TRUE(changes.wait(5000));
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(0).toString(), QStringLiteral("0123"));
    service.invokeAction(id, QStringLiteral("default"));
    ASSERT_TRUE(restore.wait(5000));
    service.closeNotification(id);
    ASSERT_TRUE(closed.wait(5000));
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(restore.count(), 1);
}

TEST(DesktopNotifier, IsNotAvailableWhereNoServiceAnswers)
{
    TDesktopNotifier notifier;
    EXPECT_FALSE(notifier.available());
    EXPECT_FALSE(notifier.notify(twoPages()));
}

} // namespace
