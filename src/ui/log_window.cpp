#include "ui/log_window.h"

#include <QDialog>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QVBoxLayout>

#include "components/footer.h"

namespace brevio {

bool ShowLogWindow(QWidget* parent, const QStringList& entries)
{
    if (entries.isEmpty())
        return false;
    QDialog window(parent);
    window.setObjectName(QStringLiteral("frmLog"));
    window.setWindowTitle(QStringLiteral("Log"));
    window.resize(640, 480);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());

    auto* text = new QPlainTextEdit(&window);
    text->setObjectName(QStringLiteral("memLog"));
    // A copy of the entries: editing it changes nothing in the log.
    text->setPlainText(entries.join(QLatin1Char('\n')));
    auto* footer = new TFooter(&window);
    auto* ok = new TFooterBtn(QStringLiteral("OK"), footer);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->SetModalResult(TModalResult::Ok);
    ok->setDefault(true);

    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(text, 1);
    layout->addWidget(footer);
    window.exec();
    return true;
}

}  // namespace brevio
