// The main window's spam triage: the Spam column, Tick Suspected Spam, and the friends and
// spammers lists (a row's context menu and their dialog).
#include "ui/main_window.h"

#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QTreeView>

#include "engine/failure_text.h"
#include "settings/settings_file.h"
#include "support/exception.h"
#include "support/text_format.h"
#include "ui/message_list_model.h"
#include "ui/sender_lists_dialog.h"

namespace brevio {

void TForm1::LoadSpamView()
{
    messages_->SetSpamTexts(services_->Strings());
    TSenderLists lists;
    lists.Load(settings_.SettingsFile);
    messages_->SetSenderLists(std::move(lists));
    const bool show = services_->ShowSpamColumn();
    if (show == !ListView1->isColumnHidden(TMessageListModel::ColSpam))
        return;
    // A hidden column has no width of its own; the one it had is kept for saving and showing.
    if (!show)
        spamColumnWidth_ = ListView1->columnWidth(TMessageListModel::ColSpam);
    ListView1->setColumnHidden(TMessageListModel::ColSpam, !show);
    if (show && spamColumnWidth_ > 0)
        ListView1->setColumnWidth(TMessageListModel::ColSpam, spamColumnWidth_);
}

void TForm1::actTickSpamExecute()
{
    messages_->TickSuspectedSpam();
}

void TForm1::StoreSenderLists(const TSenderLists& lists)
{
    try {
        lists.Save(settings_.SettingsFile);
    } catch (const Exception& e) {
        QMessageBox::warning(this, windowTitle(),
                             FormatText(Text(texts::SenderListsNotSaved), {FailureText(e, services_->Strings())}));
        return;
    }
    messages_->SetSenderLists(lists);
}

void TForm1::actSenderListsExecute()
{
    TfrmSenderLists dialog(messages_->SpamColumn().SenderLists(), this);
    if (dialog.exec() == QDialog::Accepted)
        StoreSenderLists(dialog.Lists());
}

void TForm1::ListView1ContextMenu(const QPoint& position)
{
    const QModelIndex index = ListView1->indexAt(position);
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("pmMessage"));
    if (index.isValid()) {
        const QString address = messages_->Row(index.row()).FromAddress;
        const QString domain = TSenderLists::DomainOf(address);
        const struct {
            texts::TTextId Caption;
            TSenderList List;
            QString Entry;
        } items[] = {
            {texts::NeverTickSender, TSenderList::Friends, address},
            {texts::NeverTickDomain, TSenderList::Friends, domain},
            {texts::AlwaysTickSender, TSenderList::Spammers, address},
            {texts::AlwaysTickDomain, TSenderList::Spammers, domain},
        };
        for (const auto& item : items) {
            QAction* action = menu.addAction(Text(item.Caption));
            // A sender without a readable address or domain cannot be put on a list.
            action->setEnabled(!TSenderLists::Normalized(item.Entry).isEmpty());
            connect(action, &QAction::triggered, this, [this, list = item.List, entry = item.Entry] {
                TSenderLists lists = messages_->SpamColumn().SenderLists();
                if (lists.Add(list, entry))
                    StoreSenderLists(lists);
            });
        }
        menu.addSeparator();
    }
    menu.addAction(actSenderLists);
    menu.exec(ListView1->viewport()->mapToGlobal(position));
}

}  // namespace brevio
