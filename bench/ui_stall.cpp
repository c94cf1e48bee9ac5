// The longest stall of the window's event loop while a long list arrives, is ticked and is
// removed. A 1 ms timer runs throughout; the largest gap between two of its ticks is the stall.
//   ui_stall [ROWS [ROWS_PER_MAILBOX...]]   (default 100000 rows, 5000 and then 100000 per mailbox)
// Each ROWS_PER_MAILBOX is one round of the steps below. The list view is set up as the main
// window sets up ListView1, and each step calls what the window calls:
//   rows arrive    every mailbox's rows come as one queued call each, all at once (the worst
//                  case: every check ends together), and go to TMessageListModel::QueueRows as
//                  in TForm1::OnMailBoxListed; the step lasts until the model says Filled
//   run ends       the run's own copies of the rows go (the result and the per-mailbox lists);
//                  from then on the list holds the only copy
//   scroll to end  the user goes to the last row
//   tick all       "Check all" (TMessageListModel::TickAll)
//   delete ticked  TForm1::actDeleteExecute: take the ticked rows out of the list and start the
//                  deletion through a run controller (with no mailboxes it connects nowhere)

#include "engine/mailbox_list.h"
#include "ui/message_list_model.h"
#include "ui/run_controller.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTimeZone>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

using namespace brevio;

namespace {

// The rows of `count` messages, `perMailBox` to a mailbox, one list per mailbox.
QList<QList<TMessageRow>> MakeMailBoxes(int count, int perMailBox)
{
    QList<QList<TMessageRow>> boxes;
    for (int i = 0; i < count; ++i) {
        const int box = i / perMailBox;
        if (box == boxes.size())
            boxes.append(QList<TMessageRow>());
        TMessageRow row;
        row.MailBoxIndex = box;
        row.Id.Number = i % perMailBox + 1;
        row.Id.UniqueId = "uid-" + QByteArray::number(i);
        row.Number = row.Id.Number;
        row.Subject = QStringLiteral("Offer %1: cheap watches and more, today only").arg(i);
        row.From = QStringLiteral("Sender %1 <sender%1@example.com>").arg(i % 997);
        row.MailBox = QStringLiteral("box %1").arg(box + 1);
        row.Size = 500 + i % 300;
        row.Date = QDateTime(QDate(2026, 12, 7), QTime(12, i / 60 % 60, i % 60), QTimeZone::utc());
        row.Folder = QStringLiteral("INBOX");
        boxes.last().append(row);
    }
    return boxes;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
    QList<int> rounds;
    for (int i = 2; i < argc; ++i)
        rounds.append(std::max(1, std::atoi(argv[i])));
    if (rounds.isEmpty())
        rounds = {5000, count};

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
    const int widths[TMessageListModel::ColumnCount] = {94, 92, 92, 92, 92, 50, 50, 50, 50};
    for (int i = 0; i < TMessageListModel::ColumnCount; ++i)
        view.setColumnWidth(i, widths[i]);
    view.resize(900, 600);
    view.show();

    const TMailBoxList noMailBoxes;
    TRunController runs(noMailBoxes, {}, TRunHooks{});

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

    // Built beforehand: in the program the rows come ready-made from the worker thread.
    QList<QList<TMessageRow>> mailBoxes;
    QList<TMessageRow> allRows;

    struct TStep {
        const char* Name;
        std::function<void()> Run;
        bool Fills = false;  // ends when the model says Filled
    };
    const QList<TStep> steps = {
        {"rows arrive",
         [&] {
             model->Clear();
             for (const QList<TMessageRow>& rows : std::as_const(mailBoxes))
                 QMetaObject::invokeMethod(
                     model, [model, rows] { model->QueueRows(rows); }, Qt::QueuedConnection);
         },
         true},
        {"run ends",
         [&] {
             mailBoxes.clear();
             allRows.clear();
         }},
        {"scroll to end", [&] { view.scrollToBottom(); }},
        {"tick all", [&] { model->TickAll(); }},
        {"delete ticked",
         [&] {
             QList<TMessageRow> ticked = model->TakeTickedRows();
             if (ticked.size() != count)
                 std::fprintf(stderr, "ui_stall: %lld rows ticked of %d\n", qlonglong(ticked.size()), count);
             runs.DeleteThenCheck(std::move(ticked));
         }},
    };

    // Each step runs from the event loop after a quiet spell, and its stall includes the
    // painting in the quiet spell that follows it; a step that fills the list lasts until the
    // list is full.
    qint64 overall = 0;
    qsizetype round = 0;
    qsizetype index = 0;
    std::function<void()> next = [&] {
        if (index > 0) {
            std::printf("%-14s %8.1f ms\n", steps[index - 1].Name, double(worst) / 1e6);
            overall = std::max(overall, worst);
        }
        if (index == steps.size()) {
            std::printf("%-14s %8.1f ms (%d rows, %d per mailbox)\n", "longest stall", double(overall) / 1e6, count,
                        rounds[round]);
            index = 0;
            overall = 0;
            if (++round == rounds.size()) {
                app.quit();
                return;
            }
            std::printf("\n");
        }
        if (index == 0) {
            mailBoxes = MakeMailBoxes(count, rounds[round]);
            for (const QList<TMessageRow>& rows : std::as_const(mailBoxes))
                allRows += rows;
        }
        const TStep& step = steps[index++];
        worst = 0;
        last = clock.nsecsElapsed();
        step.Run();
        if (!step.Fills)
            QTimer::singleShot(400, next);
    };
    QObject::connect(model, &TMessageListModel::Filled, [&] { QTimer::singleShot(400, next); });
    probe.start();
    QTimer::singleShot(400, next);
    return app.exec();
}
