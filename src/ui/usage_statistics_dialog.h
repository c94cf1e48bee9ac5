#pragma once
// The usage statistics dialog: the usage counters as a numbered list, thanks, and two links (the
// home page and a feedback mail). It comes up once by itself, at the first start at which a
// counter has reached its border, and afterwards from the "Usage statistics" command.

#include <QDialog>

class QLabel;
class QPushButton;

namespace brevio {

class TBaseCounter;
class TLinkLabel;
class TUsageStats;

class TfrmUsageStatistics : public QDialog {
    Q_OBJECT
public:
    explicit TfrmUsageStatistics(QWidget* parent = nullptr);

    // Fills the counter list from `stats` and shows the never-again line only when the statistics
    // have not been shown before. Call after the dialog has been localized.
    void ShowCounters(const TUsageStats& stats);
    // A counter's line: a registered counter's description in the dialog's language, otherwise
    // the counter's own.
    QString CounterText(const TBaseCounter& counter) const;

    void lblVisitWebSiteClick();
    void lblSendAletterClick();

    QLabel* lblBeforStats = nullptr;
    QLabel* lblUsageStatistics = nullptr;
    QLabel* lblAfterStats = nullptr;
    TLinkLabel* lblVisitWebSite = nullptr;
    TLinkLabel* lblSendAletter = nullptr;
    QLabel* lblReviewOrRate = nullptr;
    QLabel* lblNeverShown = nullptr;
    QPushButton* btnOk = nullptr;

private:
    void CreateTexts();
    // Hidden labels that carry the standard counters' descriptions for the language file.
    void CreateCounterLabels();
    void LayOutParts();
    void FitTexts();
};

// Creates the dialog, fills it from `stats` and shows it modally.
void ShowStatistics(const TUsageStats& stats, QWidget* parent);
// The once-only showing: when the statistics are due, shows them and records that they were
// shown. Returns whether they have ever been shown.
bool ShowIfDue(TUsageStats& stats, QWidget* parent);

}  // namespace brevio
