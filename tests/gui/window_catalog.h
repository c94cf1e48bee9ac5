#pragma once
// Every window of the program, made the way the language tests need them: one sample per window
// and state worth looking at. A new window joins the language tests with an entry in the list in
// window_catalog.cpp.

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QWidget;

namespace brevio::test {

struct TWindowSample {
    const char* State;  // what the sample shows, for messages
    // Makes the window in the language in force; the pointer keeps what the window needs alive.
    std::function<std::shared_ptr<QWidget>()> Make;
    // Components that show the user's or a server's data rather than texts of the program.
    QStringList DataComponents;
    bool TitleIsData = false;  // the caption is composed from the product name and version
};

const QList<TWindowSample>& WindowCatalog();

}  // namespace brevio::test
