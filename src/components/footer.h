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

    // The dialog result this button closes a modal dialog with (0: it does not close it).
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int result);

protected:
    void moveEvent(QMoveEvent* event) override;

private:
    void Rearrange();
    static QWidget* BarFor(QWidget* parent);

    TAlignment alignment_ = TAlignment::Right;
    int spaceInterval_ = 6;
    int lastIndex_ = 0;
    int modalResult_ = 0;
};

}  // namespace brevio
