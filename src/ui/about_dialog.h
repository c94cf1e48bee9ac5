#pragma once
// The about box: the program's name and version, a copyright notice, and two links, one that
// starts a message to the support address and one that opens the home page.

#include <QDialog>

class QFrame;
class QLabel;

namespace brevio {

class TFooter;
class TFooterBtn;
class TLinkLabel;

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);

    void lblEmailClick();
    void lblSiteClick();
    // Escape closes the box as OK does.
    void reject() override { accept(); }

    QLabel* imgMain = nullptr;
    QLabel* lblMain = nullptr;
    QLabel* lblCopyright = nullptr;
    QFrame* Bevel1 = nullptr;
    TLinkLabel* lblEmail = nullptr;
    TLinkLabel* lblSite = nullptr;
    TFooter* ftrMain = nullptr;
    TFooterBtn* btnOK = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The icon, the name and version, the notice and the line under it.
    void CreateHeading();
    // The two links and the footer with OK.
    void CreateLinks();
    void LayOutParts();
};

}  // namespace brevio
