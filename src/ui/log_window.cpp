#include "ui/log_window.h"

#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QVBoxLayout>

#include "components/footer.h"
#include "ui/form_localizer.h"
#include "ui/form_scale.h"

namespace brevio {

TfrmLog::TfrmLog(const QStringList& entries, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmLog"));
    setWindowTitle(QStringLiteral("Log"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    memLog = new QPlainTextEdit(this);
    memLog->setObjectName(QStringLiteral("memLog"));
    memLog->setPlainText(entries.join(QLatin1Char('\n')));
    Footer1 = new TFooter(this);
    btnOK = new TFooterBtn(QStringLiteral("OK"), Footer1);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->SetModalResult(TModalResult::Ok);
    btnOK->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(memLog, 1);
    layout->addWidget(Footer1);
    LocalizeForm(this);

    resize(Scaled(this, 640), Scaled(this, 480));
    QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen)
        move(screen->availableGeometry().center() - rect().center());
}

bool ShowLogWindow(QWidget* parent, const QStringList& entries)
{
    if (entries.isEmpty())
        return false;
    TfrmLog window(entries, parent);
    window.exec();
    return true;
}

}  // namespace brevio
