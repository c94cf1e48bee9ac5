#pragma once
// The strip of buttons at the bottom of every dialog: a bar with an etched line along its top
// that places its buttons itself, by alignment group and order, at fixed distances.

#include <QFrame>
#include <QList>
#include <QPointer>
#include <QPushButton>

namespace brevio {

class TFooterBtn;

enum class TBevelStyle { bsLowered, bsRaised };

// The result a button closes its modal dialog with. None leaves the dialog open.
enum class TModalResult { None, Ok, Cancel, Abort, Retry, Ignore, Yes, No, YesToAll, NoToAll, Close };

// The value QDialog::exec() returns for `result`: OK is QDialog::Accepted, Cancel is
// QDialog::Rejected (as the Escape key and the close box give), the others the matching
// QMessageBox button. None gives -1, which no button closes a dialog with.
int DialogResultCode(TModalResult result);

class TFooter : public QFrame {
    Q_OBJECT
public:
    explicit TFooter(QWidget* parent = nullptr);

    TBevelStyle BevelStyle() const { return bevelStyle_; }
    void SetBevelStyle(TBevelStyle style);
    bool BevelVisible() const { return bevelVisible_; }
    void SetBevelVisible(bool visible);

    // The buttons in their order (the order that ButtonIndex reports and changes).
    QList<TFooterBtn*> Buttons() const;

    // Places every button by the rules of its group; runs after every change of size, of a
    // button's settings or of the set of buttons.
    void ArrangeButtons();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void childEvent(QChildEvent* event) override;

private:
    friend class TFooterBtn;
    int IndexOf(const TFooterBtn* button) const;
    void MoveButton(TFooterBtn* button, int index);

    QList<QPointer<TFooterBtn>> order_;
    TBevelStyle bevelStyle_ = TBevelStyle::bsLowered;
    bool bevelVisible_ = true;
    bool arranging_ = false;
};

class TFooterBtn : public QPushButton {
    Q_OBJECT
public:
    enum class TAlignment { Left, Right, Center };

    explicit TFooterBtn(QWidget* parent = nullptr);
    TFooterBtn(const QString& text, QWidget* parent = nullptr);

    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment alignment);
    int SpaceInterval() const { return spaceInterval_; }
    void SetSpaceInterval(int interval);
    // Position among the bar's buttons; setting it moves the button to that position.
    int ButtonIndex() const;
    void SetButtonIndex(int index);

    // The result this button closes its modal dialog with (None: it does not close it).
    TModalResult ModalResult() const { return modalResult_; }
    void SetModalResult(TModalResult result);

protected:
    void moveEvent(QMoveEvent* event) override;

private:
    void Rearrange();
    static QWidget* BarFor(QWidget* parent);

    TAlignment alignment_ = TAlignment::Right;
    int spaceInterval_ = 6;
    int lastIndex_ = 0;
    TModalResult modalResult_ = TModalResult::None;
};

// The bar of a settings dialog: "&OK" (default button, result OK), "&Cancel" (result Cancel) and
// "&Help" (no result), named Footer1, FooterBtn1, FooterBtn2 and FooterBtn3.
struct TOkCancelHelpBar {
    TFooter* Bar = nullptr;
    TFooterBtn* Ok = nullptr;
    TFooterBtn* Cancel = nullptr;
    TFooterBtn* Help = nullptr;
};
TOkCancelHelpBar CreateOkCancelHelpBar(QWidget* dialog);

}  // namespace brevio
