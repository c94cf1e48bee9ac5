#include "components/panel.h"

#include <QHBoxLayout>
#include <QLabel>

namespace brevio {

TPanel::TPanel(const QString& caption, Qt::Alignment captionAlignment, QWidget* parent)
    : QFrame(parent), caption_(new QLabel(caption, this)), layout_(new QHBoxLayout(this))
{
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Raised);
    setAutoFillBackground(true);
    caption_->setAlignment(captionAlignment | Qt::AlignVCenter);
    layout_->setContentsMargins(8, 4, 8, 4);
    layout_->setSpacing(6);
    layout_->addWidget(caption_, captionAlignment & Qt::AlignHCenter ? 1 : 0);
}

QString TPanel::Text() const
{
    return caption_->text();
}

void TPanel::SetText(const QString& text)
{
    caption_->setText(text);
    SetDesignSize(design_);
}

void TPanel::AddControl(QWidget* control)
{
    layout_->addWidget(control, 0, Qt::AlignVCenter);
}

void TPanel::SetDesignSize(const QSize& size)
{
    design_ = size;
    layout_->activate();
    setFixedSize(design_.expandedTo(layout_->sizeHint()));
}

}  // namespace brevio
