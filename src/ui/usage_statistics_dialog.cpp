#include "ui/usage_statistics_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "stats/usage_stats.h"
#include "ui/form_localizer.h"
#include "ui/form_scale.h"
#include "ui/link_label.h"
#include "ui/program_links.h"

namespace brevio {

namespace {

// The hidden labels that hold the registered counters' descriptions in the window's language,
// so a language file can translate them like any caption ("lblCounterStart.Caption=...").
QString CounterLabelName(const QString& counterName)
{
    return QStringLiteral("lblCounter") + counterName;
}

QLabel* PlainLabel(QWidget* parent, const char* name, const char* text)
{
    auto* widget = new QLabel(QString::fromUtf8(text), parent);
    widget->setObjectName(QLatin1String(name));
    widget->setTextFormat(Qt::PlainText);
    return widget;
}

}  // namespace

TfrmUsageStatistics::TfrmUsageStatistics(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmUsageStatistics"));
    setWindowTitle(QStringLiteral("VEQ labs Brevio usage statistics"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    CreateTexts();
    CreateCounterLabels();
    LayOutParts();
    LocalizeForm(this);
    FitTexts();
}

void TfrmUsageStatistics::CreateTexts()
{
    const auto label = [this](const char* name, const char* text) { return PlainLabel(this, name, text); };
    lblBeforStats = label("lblBeforStats",
                          "Thank you for using VEQ labs Brevio! We hope you enjoy using it. "
                          "Here is Brevio usage statistics:");
    lblBeforStats->setWordWrap(true);
    lblUsageStatistics = label("lblUsageStatistics", "");
    lblAfterStats = label("lblAfterStats",
                          "This is a free program. This means that you may use it when and where you want without "
                          "any restrictions. But we need your feedback to help us increasing programm quality. "
                          "Here is how you can help:");
    lblAfterStats->setWordWrap(true);
    lblVisitWebSite =
        new TLinkLabel(QStringLiteral("1. Visit our web-site to find more freeware and shareware programms"), this);
    lblVisitWebSite->setObjectName(QStringLiteral("lblVisitWebSite"));
    connect(lblVisitWebSite, &TLinkLabel::clicked, this, &TfrmUsageStatistics::lblVisitWebSiteClick);
    lblSendAletter = new TLinkLabel(QStringLiteral("2. Send us a letter with your opinion about Brevio"), this);
    lblSendAletter->setObjectName(QStringLiteral("lblSendAletter"));
    connect(lblSendAletter, &TLinkLabel::clicked, this, &TfrmUsageStatistics::lblSendAletterClick);
    lblReviewOrRate = label("lblReviewOrRate", "3. Tell a friend about Brevio");
    lblNeverShown = label("lblNeverShown", "This message will never appear again. Thank you for using our software!");
    lblNeverShown->setWordWrap(true);
    btnOk = new QPushButton(QStringLiteral("OK"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    btnOk->setMinimumWidth(Scaled(this, 83));
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
}

void TfrmUsageStatistics::CreateCounterLabels()
{
    for (const TStandardCounter& counter : StandardCounters()) {
        QLabel* text = PlainLabel(this, "", counter.Description);
        text->setObjectName(CounterLabelName(QLatin1String(counter.Name)));
        text->hide();
    }
}

void TfrmUsageStatistics::LayOutParts()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Scaled(this, 8), Scaled(this, 8), Scaled(this, 8), Scaled(this, 6));
    layout->setSpacing(Scaled(this, 3));
    layout->addWidget(lblBeforStats);
    layout->addSpacing(Scaled(this, 4));
    layout->addWidget(lblUsageStatistics);
    layout->addSpacing(Scaled(this, 4));
    layout->addWidget(lblAfterStats);
    layout->addSpacing(Scaled(this, 4));
    layout->addWidget(lblVisitWebSite, 0, Qt::AlignLeft);
    layout->addWidget(lblSendAletter, 0, Qt::AlignLeft);
    layout->addWidget(lblReviewOrRate, 0, Qt::AlignLeft);
    layout->addSpacing(Scaled(this, 4));
    layout->addWidget(lblNeverShown);
    layout->addSpacing(Scaled(this, 6));
    layout->addWidget(btnOk, 0, Qt::AlignRight);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TfrmUsageStatistics::FitTexts()
{
    // The design's width, or more when a line that does not wrap is longer in this language; the
    // wrapped texts take that width and as many lines as they need. The height follows the list,
    // which has as many lines as there are counters.
    int width = Scaled(this, 337);
    for (QLabel* line : {lblUsageStatistics, static_cast<QLabel*>(lblVisitWebSite),
                         static_cast<QLabel*>(lblSendAletter), lblReviewOrRate})
        width = std::max(width, line->sizeHint().width());
    for (QLabel* wrapped : {lblBeforStats, lblAfterStats, lblNeverShown}) {
        wrapped->setFixedWidth(width);
        wrapped->setFixedHeight(wrapped->heightForWidth(width));
    }
    layout()->activate();
}

QString TfrmUsageStatistics::CounterText(const TBaseCounter& counter) const
{
    const auto* text = findChild<QLabel*>(CounterLabelName(counter.FCounterName), Qt::FindDirectChildrenOnly);
    return text ? FormatCounterText(text->text(), counter.ValueText()) : counter.GetText();
}

void TfrmUsageStatistics::ShowCounters(const TUsageStats& stats)
{
    lblUsageStatistics->setText(stats.NumberedList([this](const TBaseCounter& c) { return CounterText(c); }).trimmed());
    lblNeverShown->setVisible(!stats.FFeedbackDone);
    FitTexts();
}

void TfrmUsageStatistics::lblVisitWebSiteClick()
{
    OpenUrl(HomePageLink());
}

void TfrmUsageStatistics::lblSendAletterClick()
{
    SendMail(SupportAddress(), FeedbackSubject());
}

void ShowStatistics(const TUsageStats& stats, QWidget* parent)
{
    TfrmUsageStatistics dialog(parent);
    dialog.ShowCounters(stats);
    dialog.exec();
}

bool ShowIfDue(TUsageStats& stats, QWidget* parent)
{
    if (stats.IsDue()) {
        ShowStatistics(stats, parent);
        stats.FFeedbackDone = true;
    }
    return stats.FFeedbackDone;
}

}  // namespace brevio
