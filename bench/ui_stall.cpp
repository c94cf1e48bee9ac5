// The longest stall of the window's event loop while a long list arrives, is ticked and is
// removed. A 1 ms timer runs throughout; the largest gap between two of its ticks is the stall.
//   ui_stall [ROWS [ROWS_PER_MAILBOX]]      (default 100000 rows, 5000 per mailbox)
// The list view is set up as the main window sets up ListView1, and each step does what the
// window does: rows come in per mailbox, one insertion each (TForm1::FillMessageList, after a
// run); the user scrolls to the end; "Check all" ticks every row (actCheckAllExecute); deleting
// takes the ticked rows and empties the list as the deleting run starts (actDeleteExecute,
// OnRunStarted).

#include "ui/message_list_model.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

using namespace brevio;

namespace {

QList<TMessageRow> MakeRows(int count, int perMailBox)
{
    QList<TMessageRow> rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i) {
        TMessageRow row;
        row.MailBoxIndex = i / perMailBox;
        row.Number = QString::number(i % perMailBox + 1);
        row.Subject = QStringLiteral("Offer %1: cheap watches and more, today only").arg(i);
        row.From = QStringLiteral("Sender %1 <sender%1@example.com>").arg(i % 997);
        row.MailBox = QStringLiteral("box %1").arg(row.MailBoxIndex + 1);
        row.SizeBytes = 500 + i % 300;
        row.Size = QString::number(row.SizeBytes);
        row.Date = QStringLiteral("07.12.2026");
        row.Time = QStringLiteral("12:%1:%2").arg(i / 60 % 60, 2, 10, QLatin1Char('0')).arg(i % 60, 2, 10, QLatin1Char('0'));
        row.Folder = QStringLiteral("INBOX");
        rows.append(row);
    }
    return rows;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int perMailBox = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5000;

    QTreeView view;
    auto* model = new TMessageListModel(&view);
    view.setModel(model);
    view.setRootIsDecorated(false);
    view.setItemsExpandable(false);
    view.setUniformRowHeights(true);
    view.setSortingEnabled(false);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setSelectionMode(QAbstractItemView::SingleSelection);
    view.setEditTriggers(QAbstractItemView::NoEditTriggers);
    view.setAllColumnsShowFocus(true);
    view.setExpandsOnDoubleClick(false);
    view.header()->setStretchLastSection(false);
    view.header()->setSectionsMovable(false);
    const int widths[] = {94, 92, 92, 92, 92, 50, 50, 50};
    for (int i = 0; i < TMessageListModel::ColumnCount; ++i)
        view.setColumnWidth(i, widths[i]);
    view.resize(900, 600);
    view.show();

    // Built beforehand: in the program the rows come ready-made from the worker thread.
    const QList<TMessageRow> rows = MakeRows(count, perMailBox);

    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, worst = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        worst = std::max(worst, now - last);
        last = now;
    });

    struct TStep {
        const char* Name;
        std::function<void()> Run;
    };
    const QList<TStep> steps = {
        {"rows arrive", [&] {
             model->Clear();
             qsizetype first = 0;
             for (qsizetype i = 1; i <= rows.size(); ++i) {
                 if (i == rows.size() || rows[i].MailBoxIndex != rows[first].MailBoxIndex) {
                     model->AppendRows(rows.mid(first, i - first));
                     first = i;
                 }
             }
         }},
        {"scroll to end", [&] { view.scrollToBottom(); }},
        {"tick all", [&] { model->TickAll(); }},
        {"delete ticked", [&] {
             const QList<TMessageRow> ticked = model->TickedRows();
             if (ticked.size() != rows.size())
                 std::fprintf(stderr, "ui_stall: %lld rows ticked of %lld\n", qlonglong(ticked.size()), qlonglong(rows.size()));
             model->Clear();
         }},
    };

    // Each step runs from the event loop after a quiet spell, and its stall includes the
    // painting that follows it.
    qint64 overall = 0;
    int index = 0;
    std::function<void()> next = [&] {
        if (index > 0) {
            std::printf("%-14s %8.1f ms\n", steps[index - 1].Name, double(worst) / 1e6);
            overall = std::max(overall, worst);
        }
        if (index == steps.size()) {
            std::printf("%-14s %8.1f ms (%d rows, %d per mailbox)\n", "longest stall", double(overall) / 1e6,
                        count, perMailBox);
            app.quit();
            return;
        }
        const TStep& step = steps[index++];
        worst = 0;
        last = clock.nsecsElapsed();
        step.Run();
        QTimer::singleShot(400, next);
    };
    probe.start();
    QTimer::singleShot(400, next);
    return app.exec();
}
