#pragma once
// Readable GoogleTest output for Qt value types.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QByteArray& bytes, std::ostream* os)
{
    *os << '"' << bytes.toStdString() << '"';
}

inline void PrintTo(const QStringList& list, std::ostream* os)
{
    *os << '[' << list.join(QStringLiteral("|")).toStdString() << ']';
}

inline void PrintTo(const QDateTime& when, std::ostream* os)
{
    *os << (when.isValid() ? when.toString(Qt::ISODate).toStdString() : std::string("(invalid)"));
}
