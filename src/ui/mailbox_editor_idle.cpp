// The mailbox editor's "Watch the inbox for new mail": IMAP4 mailboxes only, since watching
// needs IDLE, and a Test says when the server does not offer it.
#include "ui/mailbox_editor.h"

#include <QCheckBox>
#include <QRadioButton>
#include <utility>

#include "engine/mailbox_probe.h"

namespace brevio {

void TfrmMailBoxes::BuildIdleOption()
{
    chkIdle = new QCheckBox(QStringLiteral("Watch the inbox for new mail"), this);
    chkIdle->setObjectName(QStringLiteral("chkIdle"));
    connect(chkIdle, &QCheckBox::toggled, this, [this](bool on) {
        if (TMailBox* box = loading_ ? nullptr : Selected())
            box->Idle = on;
    });
    // The radio buttons tell the protocol before the mailbox has taken it.
    connect(rbIMAP4, &QRadioButton::toggled, this, &TfrmMailBoxes::ShowIdleOption);
}

void TfrmMailBoxes::ShowIdleOption()
{
    const TMailBox* box = Selected();
    const bool wasLoading = std::exchange(loading_, true);
    chkIdle->setChecked(box && box->Idle);
    loading_ = wasLoading;
    // A POP3 mailbox keeps the setting (switching back to IMAP4 finds it) but cannot use it.
    chkIdle->setEnabled(box && rbIMAP4->isChecked());
}

QString TfrmMailBoxes::IdleTestNote(const TProbeResult& result) const
{
    const TMailBox* box = Selected();
    if (result.Outcome != TProbeOutcome::Ok || !box || box->Protocol != TMailProtocol::IMAP4 || result.IdleOffered)
        return {};
    return TestNoIdleText;
}

}  // namespace brevio
