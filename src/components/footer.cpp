#include "components/footer.h"

#include <QChildEvent>
#include <QDialog>
#include <QMessageBox>
#include <QPainter>

namespace brevio {

int DialogResultCode(TModalResult result)
{
    switch (result) {
    case TModalResult::None:
        return -1;
    case TModalResult::Ok:
        return QDialog::Accepted;
    case TModalResult::Cancel:
        return QDialog::Rejected;
    case TModalResult::Abort:
        return QMessageBox::Abort;
    case TModalResult::Retry:
        return QMessageBox::Retry;
    case TModalResult::Ignore:
        return QMessageBox::Ignore;
    case TModalResult::Yes:
        return QMessageBox::Yes;
    case TModalResult::No:
        return QMessageBox::No;
    case TModalResult::YesToAll:
        return QMessageBox::YesToAll;
    case TModalResult::NoToAll:
        return QMessageBox::NoToAll;
    case TModalResult::Close:
        return QMessageBox::Close;
    }
    return -1;
}

namespace {
constexpr int kEdge = 5;  // distance of the outer buttons from the bar's edges
}

TFooter::TFooter(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("Footer1"));
    setFrameShape(QFrame::NoFrame);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    resize(350, 37);
    setFixedHeight(37);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TFooter::SetBevelStyle(TBevelStyle style)
{
    if (style == bevelStyle_)
        return;
    bevelStyle_ = style;
    update();
}

void TFooter::SetBevelVisible(bool visible)
{
    bevelVisible_ = visible;
    update();
}

QList<TFooterBtn*> TFooter::Buttons() const
{
    QList<TFooterBtn*> result;
    for (const auto& b : order_)
        if (b)
            result.append(b);
    return result;
}

int TFooter::IndexOf(const TFooterBtn* button) const
{
    return Buttons().indexOf(const_cast<TFooterBtn*>(button));
}

void TFooter::MoveButton(TFooterBtn* button, int index)
{
    order_.removeAll(QPointer<TFooterBtn>(button));
    index = std::clamp(index, 0, int(order_.size()));
    order_.insert(index, button);
}

void TFooter::ArrangeButtons()
{
    if (arranging_)
        return;
    arranging_ = true;
    const QList<TFooterBtn*> buttons = Buttons();
    const int barWidth = width();
    const int barHeight = height();
    for (int i = 0; i < buttons.size(); ++i) {
        TFooterBtn* b = buttons[i];
        const int w = b->width();
        const int h = b->height();
        const int top = barHeight - h - kEdge;
        const auto group = b->Alignment();
        const bool countAfter = group == TFooterBtn::TAlignment::Right;
        int k = 0;
        int spaces = 0;
        for (int j = 0; j < buttons.size(); ++j) {
            if (j == i || buttons[j]->Alignment() != group)
                continue;
            if ((countAfter && j > i) || (!countAfter && j < i)) {
                ++k;
                spaces += buttons[j]->SpaceInterval();
            }
        }
        const int own = b->SpaceInterval();
        int left = 0;
        switch (group) {
        case TFooterBtn::TAlignment::Left:
            left = k == 0 ? kEdge : w * k + own + spaces;
            break;
        case TFooterBtn::TAlignment::Right:
            left = k == 0 ? barWidth - w - kEdge : barWidth - w * (k + 1) - spaces - own;
            break;
        case TFooterBtn::TAlignment::Center: {
            int n = 0;
            int total = 0;
            for (TFooterBtn* other : buttons)
                if (other->Alignment() == group) {
                    ++n;
                    total += other->SpaceInterval();
                }
            // Integer division truncates toward zero, as the layout rule requires.
            left = barWidth / 2 - (w * n + total) / 2 + w * k + spaces;
            break;
        }
        }
        b->setGeometry(left, top, w, h);
    }
    arranging_ = false;
}

void TFooter::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    if (!bevelVisible_)
        return;
    QPainter p(this);
    const QColor shadow = palette().color(QPalette::Dark);
    const QColor light = palette().color(QPalette::Light);
    const bool lowered = bevelStyle_ == TBevelStyle::bsLowered;
    p.setPen(lowered ? shadow : light);
    p.drawLine(0, 0, width() - 1, 0);
    p.setPen(lowered ? light : shadow);
    p.drawLine(0, 1, width() - 1, 1);
}

void TFooter::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    ArrangeButtons();
}

void TFooter::childEvent(QChildEvent* event)
{
    QFrame::childEvent(event);
    if (event->type() == QEvent::ChildRemoved) {
        // The child is no longer a complete button here; compare by address only.
        order_.removeIf(
            [&](const QPointer<TFooterBtn>& b) { return !b || static_cast<QObject*>(b.data()) == event->child(); });
        ArrangeButtons();
    }
}

TFooterBtn::TFooterBtn(QWidget* parent) : TFooterBtn(QString(), parent) {}

TFooterBtn::TFooterBtn(const QString& text, QWidget* parent) : QPushButton(text, BarFor(parent))
{
    QPushButton::resize(74, 23);
    if (auto* bar = qobject_cast<TFooter*>(parentWidget())) {
        bar->order_.append(this);
        lastIndex_ = bar->IndexOf(this);
        bar->ArrangeButtons();
    }
    connect(this, &QPushButton::clicked, this, [this] {
        if (modalResult_ == TModalResult::None)
            return;
        if (auto* dialog = qobject_cast<QDialog*>(window()))
            dialog->done(DialogResultCode(modalResult_));
    });
}

QWidget* TFooterBtn::BarFor(QWidget* parent)
{
    // A button given another button as parent goes into that button's bar instead.
    if (auto* other = qobject_cast<TFooterBtn*>(parent))
        return other->parentWidget();
    return parent;
}

void TFooterBtn::SetAlignment(TAlignment alignment)
{
    if (alignment == alignment_)
        return;
    alignment_ = alignment;
    Rearrange();
}

void TFooterBtn::SetSpaceInterval(int interval)
{
    if (interval == spaceInterval_)
        return;
    spaceInterval_ = interval;
    Rearrange();
}

int TFooterBtn::ButtonIndex() const
{
    if (auto* bar = qobject_cast<TFooter*>(parentWidget()))
        return bar->IndexOf(this);
    return lastIndex_;
}

void TFooterBtn::SetButtonIndex(int index)
{
    if (index == ButtonIndex())
        return;
    if (auto* bar = qobject_cast<TFooter*>(parentWidget())) {
        bar->MoveButton(this, index);
        lastIndex_ = bar->IndexOf(this);
    } else {
        lastIndex_ = index;
    }
    Rearrange();
}

void TFooterBtn::SetModalResult(TModalResult result)
{
    modalResult_ = result;
}

void TFooterBtn::moveEvent(QMoveEvent* event)
{
    QPushButton::moveEvent(event);
    Rearrange();
}

void TFooterBtn::Rearrange()
{
    if (auto* bar = qobject_cast<TFooter*>(parentWidget()))
        bar->ArrangeButtons();
}

TOkCancelHelpBar CreateOkCancelHelpBar(QWidget* dialog)
{
    TOkCancelHelpBar bar;
    bar.Bar = new TFooter(dialog);
    bar.Bar->setObjectName(QStringLiteral("Footer1"));
    bar.Ok = new TFooterBtn(QStringLiteral("&OK"), bar.Bar);
    bar.Ok->setObjectName(QStringLiteral("FooterBtn1"));
    bar.Ok->setDefault(true);
    bar.Ok->SetModalResult(TModalResult::Ok);
    bar.Cancel = new TFooterBtn(QStringLiteral("&Cancel"), bar.Bar);
    bar.Cancel->setObjectName(QStringLiteral("FooterBtn2"));
    bar.Cancel->SetModalResult(TModalResult::Cancel);
    bar.Help = new TFooterBtn(QStringLiteral("&Help"), bar.Bar);
    bar.Help->setObjectName(QStringLiteral("FooterBtn3"));
    return bar;
}

}  // namespace brevio
