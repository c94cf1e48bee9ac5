#pragma once
// Fills the "%s" and "%d" placeholders of a message text (from the string table or a language
// file) in order. A translator's text may hold fewer placeholders than arguments, or stray
// percent signs; neither may crash or garble the rest of the text.

#include <QString>
#include <QStringList>
#include <QVariant>
#include <initializer_list>

namespace brevio {

// "%s" and "%d" take the next argument as text; "%%" gives "%"; any other "%" stays as it is.
// Placeholders without an argument stay as they are; surplus arguments are ignored.
QString FormatText(const QString& format, std::initializer_list<QVariant> arguments);
// The same with the arguments as a list of texts.
QString FormatTextList(const QString& format, const QStringList& arguments);

}  // namespace brevio
