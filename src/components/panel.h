#pragma once
// A framed panel with a caption, floating over another control. Its caption is the `text`
// property, so language files can replace it like any label's text; further controls can be
// placed after the caption.

#include <QFrame>

class QHBoxLayout;
class QLabel;

namespace brevio {

class TPanel : public QFrame {
    Q_OBJECT
    Q_PROPERTY(QString text READ Text WRITE SetText)
public:
    TPanel(const QString& caption, Qt::Alignment captionAlignment, QWidget* parent = nullptr);

    QString Text() const;
    void SetText(const QString& text);
    // Appends a control after the caption.
    void AddControl(QWidget* control);
    // The panel's size: the designed size, grown when the contents need more room.
    void SetDesignSize(const QSize& size);

private:
    QLabel* caption_;
    QHBoxLayout* layout_;
    QSize design_;
};

}  // namespace brevio
