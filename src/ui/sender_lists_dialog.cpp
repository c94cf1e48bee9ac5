#include "ui/sender_lists_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "components/footer.h"
#include "ui/form_localizer.h"
#include "ui/form_scale.h"

namespace brevio {

namespace {

QStringList LinesOf(const QPlainTextEdit& edit)
{
    return edit.toPlainText().split(u'\n', Qt::SkipEmptyParts);
}

}  // namespace

TfrmSenderLists::TfrmSenderLists(const TSenderLists& lists, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSenderLists"));
    setWindowTitle(QStringLiteral("Friends and spammers"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    const auto field = [this](const char* name, const char* caption, const QStringList& entries) {
        auto* label = new QLabel(QString::fromUtf8(caption), this);
        label->setObjectName(QStringLiteral("lbl") + QLatin1String(name));
        auto* edit = new QPlainTextEdit(this);
        edit->setObjectName(QStringLiteral("mem") + QLatin1String(name));
        edit->setPlainText(entries.join(u'\n'));
        edit->setTabChangesFocus(true);
        label->setBuddy(edit);
        return std::pair{label, edit};
    };
    std::tie(lblFriends, memFriends) =
        field("Friends", "&Friends: never tick their mail", lists.Entries(TSenderList::Friends));
    std::tie(lblSpammers, memSpammers) =
        field("Spammers", "&Spammers: always tick their mail", lists.Entries(TSenderList::Spammers));
    memFriends->setToolTip(QStringLiteral("One address or domain per line"));
    memSpammers->setToolTip(QStringLiteral("One address or domain per line"));

    Footer1 = new TFooter(this);
    btnOK = new TFooterBtn(QStringLiteral("OK"), Footer1);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->SetModalResult(TModalResult::Ok);
    btnOK->setDefault(true);
    btnCancel = new TFooterBtn(QStringLiteral("Cancel"), Footer1);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->SetModalResult(TModalResult::Cancel);

    auto* fields = new QGridLayout;
    const int margin = Scaled(this, 8);
    fields->setContentsMargins(margin, margin, margin, margin);
    fields->addWidget(lblFriends, 0, 0);
    fields->addWidget(memFriends, 1, 0);
    fields->addWidget(lblSpammers, 0, 1);
    fields->addWidget(memSpammers, 1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(fields, 1);
    layout->addWidget(Footer1);
    LocalizeForm(this);
    resize(Scaled(this, 480), Scaled(this, 300));
}

TSenderLists TfrmSenderLists::Lists() const
{
    TSenderLists lists;
    lists.SetEntries(TSenderList::Friends, LinesOf(*memFriends));
    // An entry on both lists is a friend's: friends always win.
    QStringList spammers;
    for (const QString& entry : LinesOf(*memSpammers)) {
        if (!lists.Entries(TSenderList::Friends).contains(TSenderLists::Normalized(entry)))
            spammers.append(entry);
    }
    lists.SetEntries(TSenderList::Spammers, spammers);
    return lists;
}

}  // namespace brevio
