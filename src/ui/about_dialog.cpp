#include "ui/about_dialog.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

#include "components/footer.h"
#include "ui/form_localizer.h"
#include "support/app_version.h"
#include "support/text_format.h"
#include "ui/form_scale.h"
#include "ui/link_label.h"
#include "ui/program_links.h"

namespace brevio {

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Brevio"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    setPalette(white);
    CreateHeading();
    CreateLinks();
    LayOutParts();
    LocalizeForm(this);
}

void TfrmAbout::CreateHeading()
{
    imgMain = new QLabel(this);
    imgMain->setObjectName(QStringLiteral("imgMain"));
    imgMain->setPixmap(QIcon(QStringLiteral(":/icons/brevio.svg")).pixmap(QSize(48, 48)));
    imgMain->setAlignment(Qt::AlignCenter);
    imgMain->setFixedSize(Scaled(this, 65), Scaled(this, 65));

    lblMain = new QLabel(FormatText(QStringLiteral("%s v%s"), {QStringLiteral("Brevio"), GetAppVersion()}), this);
    lblMain->setObjectName(QStringLiteral("lblMain"));
    QFont bold = lblMain->font();
    bold.setBold(true);
    bold.setPixelSize(Scaled(this, 16));
    lblMain->setFont(bold);

    lblCopyright = new QLabel(QStringLiteral("Copyright © VEQ labs\nFree to use, without restrictions"), this);
    lblCopyright->setObjectName(QStringLiteral("lblCopyright"));

    // Only the bottom line of the bevel shows: an etched line under the notice.
    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
}

void TfrmAbout::CreateLinks()
{
    lblEmail = new TLinkLabel(SupportAddress(), this, true);
    lblEmail->setObjectName(QStringLiteral("lblEmail"));
    connect(lblEmail, &TLinkLabel::clicked, this, &TfrmAbout::lblEmailClick);
    lblSite = new TLinkLabel(HomePageAddress(), this, true);
    lblSite->setObjectName(QStringLiteral("lblSite"));
    connect(lblSite, &TLinkLabel::clicked, this, &TfrmAbout::lblSiteClick);

    ftrMain = new TFooter(this);
    ftrMain->setObjectName(QStringLiteral("ftrMain"));
    btnOK = new TFooterBtn(QStringLiteral("&OK"), ftrMain);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnOK->SetModalResult(TModalResult::Ok);
}

void TfrmAbout::LayOutParts()
{
    auto* text = new QVBoxLayout;
    text->setSpacing(Scaled(this, 4));
    text->addWidget(lblMain);
    text->addWidget(lblCopyright);
    text->addSpacing(Scaled(this, 2));
    text->addWidget(Bevel1);
    text->addSpacing(Scaled(this, 2));
    text->addWidget(lblEmail, 0, Qt::AlignLeft);
    text->addWidget(lblSite, 0, Qt::AlignLeft);
    text->addStretch(1);
    auto* body = new QHBoxLayout;
    body->setContentsMargins(Scaled(this, 2), Scaled(this, 12), Scaled(this, 7), Scaled(this, 8));
    body->setSpacing(Scaled(this, 4));
    body->addWidget(imgMain, 0, Qt::AlignTop);
    body->addLayout(text, 1);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addLayout(body, 1);
    outer->addWidget(ftrMain);
    setMinimumSize(Scaled(this, 261), Scaled(this, 154));
    outer->setSizeConstraint(QLayout::SetFixedSize);
}

void TfrmAbout::lblEmailClick()
{
    SendMail(SupportAddress(), FeedbackSubject());
}

void TfrmAbout::lblSiteClick()
{
    OpenUrl(HomePageLink());
}

void TfrmAbout::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Centred on the screen, not over the main window.
    if (QScreen* screen = parentWidget() ? parentWidget()->screen() : this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

}  // namespace brevio
