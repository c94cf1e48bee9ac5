#pragma once
// A label that works as a link: blue text, a hand cursor, and a click (or Space while it has the
// focus) that runs its action.

#include <QLabel>

namespace brevio {

class TLinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit TLinkLabel(const QString& text, QWidget* parent = nullptr, bool underlined = false);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace brevio
